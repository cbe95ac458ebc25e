// Steps 3 and 4: the conversion settings (MySQL database, DB2 schema, existing-table mode,
// options) and the choice of tables and named queries.
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdlib>

#include "gui/g_conv.h"
#include "gui/g_wiz_sh.h"
#include "gui/qvx_shel.h"
#include "gui/tk_regq.h"
#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {
bool begins_nocase(const std::u16string& text, const std::u16string& prefix) {
    return text.size() >= prefix.size() &&
           tk_equal_nocase(std::u16string_view(text).substr(0, prefix.size()), prefix);
}

std::u16string wide(const QString& text) { return text.toStdU16String(); }

// The row of the first entry equal to the name without regard to case, or -1.
int find_nocase(const QListWidget* list, const QString& name) {
    std::u16string wanted = wide(name);
    for (int row = 0; row < list->count(); ++row)
        if (tk_equal_nocase(wide(list->item(row)->text()), wanted)) return row;
    return -1;
}
}  // namespace

// -- wait dialog ------------------------------------------------------------------------------

void database_combo::showPopup() {
    emit dropping_down();
    QComboBox::showPopup();
}

wait_dialog::wait_dialog(QWidget* owner) : QDialog(owner) {
    setObjectName("dialog101");
    setWindowTitle(wizard_shell::is_initialized()
                       ? QString::fromStdU16String(wizard_shell::get_instance().title())
                       : QString());
    auto* layout = new QHBoxLayout(this);
    icon_ = new QLabel;
    icon_->setObjectName("1301");
    icon_->setPixmap(wizard_picture(502));
    layout->addWidget(icon_);
    layout->addWidget(new QLabel("Connecting to MySQL server. Please wait..."));
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % 8;
        icon_->setPixmap(wizard_picture(502 + frame_));
    });
    timer_->start(500);
}

void wait_dialog::stop_timer() { timer_->stop(); }

// -- step 3 -----------------------------------------------------------------------------------

sel_file_page::sel_file_page()
    : wizard_page(page_kind::interior, 106, "Step 3 of 5", "Conversion Settings", 1013),
      worker_(*this) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        "Enter source database name and conversion settings. Drop down the combo box to see"));
    layout->addWidget(
        new QLabel("all available MySQL databases (you must have sufficient permissions)."));

    auto* grid = new QGridLayout;
    database_ = tag(new database_combo, 1302);
    database_->setEditable(true);
    database_->setInsertPolicy(QComboBox::NoInsert);
    auto* database_label = new QLabel("My&SQL database name:");
    database_label->setBuddy(database_);
    schemas_ = tag(new QListWidget, 1317);
    schemas_->setSortingEnabled(true);
    auto* schema_label = new QLabel("&DB2 schema name:");
    schema_label->setBuddy(schemas_);
    grid->addWidget(database_label, 0, 0);
    grid->addWidget(database_, 0, 1);
    grid->addWidget(schema_label, 1, 0, Qt::AlignTop);
    grid->addWidget(schemas_, 1, 1);
    layout->addLayout(grid);

    auto* modes = new QGroupBox(" How to process existing tables: ");
    auto* modes_layout = new QHBoxLayout(modes);
    const char* mode_texts[] = {"&Overwrite", "M&erge", "&Skip"};
    for (int mode = 0; mode < 3; ++mode) {
        modes_[mode] = tag(new QRadioButton(mode_texts[mode]), 1329 + mode);
        modes_layout->addWidget(modes_[mode]);
    }
    modes_layout->addStretch();
    layout->addWidget(modes);
    definitions_only_ = tag(new QCheckBox("&Convert table definitions only"), 1228);
    skip_indexes_ = tag(new QCheckBox("S&kip converting indexes"), 1226);
    layout->addWidget(definitions_only_);
    layout->addWidget(skip_indexes_);

    connect(database_, &database_combo::dropping_down, this, &sel_file_page::on_dropdown);
    connect(database_, qOverload<int>(&QComboBox::activated), this,
            [this](int) { on_sel_change(); });
}

sel_file_page::~sel_file_page() = default;

bool sel_file_page::page_init() {
    TK_TRACE(2, "sel_file_page::page_init");
    wizard_convertor& conv = wizard_conv();
    definitions_only_->setChecked(conv.definitions_only());
    skip_indexes_->setChecked(conv.skip_indexes());
    if (!fetched_) database_->clear();
    int32_t mode = conv.stored_mode();
    if (mode < 0 || mode > 2) throw tk_mail_assertion("qvx_shel", 1187);
    modes_[mode]->setChecked(true);
    if (!conv.source_name().empty() || !conv.get_destination_name().empty()) {
        database_->setEditText(QString::fromStdU16String(conv.source_name()));
        schemas_->clear();
        try {
            std::vector<std::u16string> schemas;
            conv.get_db2_schemas(schemas);
            for (const auto& schema : schemas) schemas_->addItem(QString::fromStdU16String(schema));
        } catch (const tk_exception& e) {
            wizard_shell::get_instance().error(std::string(e.what()));
        }
        const std::u16string& stored = conv.schema();
        if (!stored.empty() && schemas_->count() > 0) {
            int chosen = 0;
            for (int row = 0; row < schemas_->count(); ++row) {
                if (begins_nocase(wide(schemas_->item(row)->text()), stored)) {
                    chosen = row;
                    break;
                }
            }
            schemas_->setCurrentRow(chosen);
        }
    }
    return true;
}

void sel_file_page::select_source_entry() {
    std::u16string source = wizard_conv().source_name();
    for (int index = 0; index < database_->count(); ++index) {
        if (begins_nocase(wide(database_->itemText(index)), source)) {
            database_->setCurrentIndex(index);
            return;
        }
    }
}

void sel_file_page::on_dropdown() {
    TK_TRACE(2, "sel_file_page::on_dropdown");
    if (!fetched_) {
        QString typed = database_->currentText();
        listed_ = false;
        wait_dialog dialog(wizard());
        wait_ = &dialog;
        worker_.start();
        dialog.exec();
        if (worker_.is_running()) worker_.terminate();
        worker_.clean_up();
        wait_ = nullptr;
        if (listed_) {
            database_->clear();
            for (const auto& name : names_) database_->addItem(QString::fromStdU16String(name));
            database_->setEditText(typed);
            fetched_ = true;
        }
    }
    select_source_entry();
}

void sel_file_page::animation::operator()() {
    TK_TRACE(2, "sel_file_page::animation::operator()");
    page_.names_.clear();
    run_worker_reported([this] {
        page_.names_ = wizard_conv().get_mysql_databases();
        page_.listed_ = true;
    });
    wait_dialog* dialog = page_.wait_;
    QMetaObject::invokeMethod(
        dialog,
        [dialog] {
            dialog->stop_timer();
            dialog->accept();
        },
        Qt::QueuedConnection);
}

void sel_file_page::on_sel_change() {
    TK_TRACE(2, "sel_file_page::on_sel_change");
    wizard_conv().clear_selection();
}

void sel_file_page::store_settings() {
    wizard_convertor& conv = wizard_conv();
    conv.set_definitions_only(definitions_only_->isChecked());
    conv.set_skip_indexes(skip_indexes_->isChecked());
    QString source = database_->currentText();
    if (source.isEmpty()) TK_TRACE(2, "Failed to exract text of selected item");
    conv.set_source_name(wide(source));
    QListWidgetItem* schema = schemas_->currentItem();
    if (schema == nullptr || !schema->isSelected()) {
        TK_TRACE(2, "Failed to exract select item from list");
        conv.set_schema(std::u16string());
    } else {
        conv.set_schema(wide(schema->text()));
    }
    for (int mode = 0; mode < 3; ++mode)
        if (modes_[mode]->isChecked()) conv.set_run_mode(mode);
}

int sel_file_page::on_back() {
    store_settings();
    return 0;
}

int sel_file_page::on_next() {
    store_settings();
    wizard_convertor& conv = wizard_conv();
    wizard_shell& shell = wizard_shell::get_instance();
    if (conv.source_name().empty()) {
        shell.message(u"You should enter MySQL database name");
        return -1;
    }
    if (conv.schema().empty()) {
        shell.message(u"You should enter DB2 schema name");
        return -1;
    }
    try {
        if (!conv.is_mysql_base_exist(conv.source_name())) {
            shell.message(u"MySQL database does not exist");
            return -1;
        }
    } catch (const tk_exception& e) {
        shell.error(std::string(e.what()));
        return -1;
    }
    return 0;
}

// -- Add Query dialog -------------------------------------------------------------------------

bool is_select_query(const QString& query) {
    qsizetype start = 0;
    while (start < query.size() && QString("\t\n\r ").contains(query[start])) ++start;
    if (query.isEmpty()) return true;
    if (query.size() - start < 6) return false;
    return query.mid(start, 6).compare("SELECT", Qt::CaseInsensitive) == 0;
}

set_query_dlg::set_query_dlg(QWidget* owner, QString name, QString query)
    : QDialog(owner), name_(std::move(name)), query_(std::move(query)) {
    setObjectName("dialog128");
    setWindowTitle("Add Query");
    auto* layout = new QVBoxLayout(this);
    name_edit_ = new QLineEdit;
    name_edit_->setObjectName("1019");
    name_edit_->setMaxLength(2047);
    query_edit_ = new QPlainTextEdit;
    query_edit_->setObjectName("1020");
    auto* name_label = new QLabel("Store as Table:");
    name_label->setBuddy(name_edit_);
    auto* query_label = new QLabel("Query:");
    query_label->setBuddy(query_edit_);
    layout->addWidget(name_label);
    layout->addWidget(name_edit_);
    layout->addWidget(query_label);
    layout->addWidget(query_edit_, 1);
    auto* buttons = new QDialogButtonBox;
    auto* ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName("1");
    auto* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName("2");
    auto* test = buttons->addButton("Test Query", QDialogButtonBox::ActionRole);
    test->setObjectName("129");
    auto* help = buttons->addButton(QDialogButtonBox::Help);
    help->setObjectName("9");
    layout->addWidget(buttons);
    connect(ok, &QPushButton::clicked, this, &set_query_dlg::on_ok);
    connect(cancel, &QPushButton::clicked, this, &set_query_dlg::on_cancel);
    connect(test, &QPushButton::clicked, this, &set_query_dlg::on_test_query);
    connect(help, &QPushButton::clicked, this, &set_query_dlg::on_help);

    TK_TRACE(2, "set_query_dlg::on_init");
    name_edit_->setText(name_);
    query_edit_->setPlainText(query_);
    resize(520, 360);
}

QString set_query_dlg::read_query() const { return query_edit_->toPlainText().left(9999); }

void set_query_dlg::on_test_query() {
    wizard_shell& shell = wizard_shell::get_instance();
    QString query = read_query();
    if (!is_select_query(query)) {
        shell.error(u"The query must start with SELECT.");
        return;
    }
    if (wizard_conv().test_query(wide(query)))
        shell.message(u"The query is correct.");
    else
        shell.error(tk_u16(std::string("You have an error in your query syntax. Make sure that it "
                                       "is a correct SQL SELECT-statement. Contact ") +
                           tk_support_address + " if the error persists."));
}

void set_query_dlg::on_ok() {
    TK_TRACE(2, "set_query_dlg::on_ok");
    wizard_shell& shell = wizard_shell::get_instance();
    QString name = name_edit_->text();
    QString query = read_query();
    if (name.isEmpty()) {
        shell.message(u"Table name is empty!");
        return;
    }
    if (!is_select_query(query)) {
        shell.error(u"The query must start with SELECT.");
        return;
    }
    if (query.isEmpty()) {
        shell.error(u"Query is empty!");
        return;
    }
    name_ = name;
    query_ = query;
    accept();
}

void set_query_dlg::on_cancel() {
    TK_TRACE(2, "set_query_dlg::on_cancel");
    reject();
}

void set_query_dlg::on_help() { wizard_shell::get_instance().display_help(1019); }

// -- step 4 -----------------------------------------------------------------------------------

sel_tables_page::sel_tables_page(QString no_tables_question)
    : wizard_page(page_kind::interior, 127, "Step 4 of 5", "Select tables to convert", 1015),
      question_(std::move(no_tables_question)) {
    auto* layout = new QVBoxLayout(this);
    auto* heading = tag(new QLabel, 1337);
    layout->addWidget(heading);
    auto* grid = new QGridLayout;
    auto* available_label = tag(new QLabel, 1334);
    auto* selected_label = tag(new QLabel, 1312);
    available_ = tag(new QListWidget, 1317);
    selected_ = tag(new QListWidget, 1318);
    for (QListWidget* list : {available_, selected_}) list->setSortingEnabled(true);
    available_label->setBuddy(available_);
    selected_label->setBuddy(selected_);
    auto* buttons = new QVBoxLayout;
    auto* add = tag(new QPushButton("A&dd >"), 1101);
    auto* add_all = tag(new QPushButton("Add a&ll >"), 1102);
    auto* remove = tag(new QPushButton("< &Remove"), 1111);
    auto* remove_all = tag(new QPushButton("< Re&move all"), 1110);
    add_query_ = tag(new QPushButton("&Add Query"), 1114);
    add_query_->setVisible(false);
    buttons->addStretch();
    for (QPushButton* button : {add, add_all, remove, remove_all}) buttons->addWidget(button);
    buttons->addSpacing(12);
    buttons->addWidget(add_query_);
    buttons->addStretch();
    grid->addWidget(available_label, 0, 0);
    grid->addWidget(selected_label, 0, 2);
    grid->addWidget(available_, 1, 0);
    grid->addLayout(buttons, 1, 1);
    grid->addWidget(selected_, 1, 2);
    layout->addLayout(grid);

    connect(add, &QPushButton::clicked, this, &sel_tables_page::on_add);
    connect(add_all, &QPushButton::clicked, this, &sel_tables_page::on_add_all);
    connect(remove, &QPushButton::clicked, this, &sel_tables_page::on_delete);
    connect(remove_all, &QPushButton::clicked, this, &sel_tables_page::on_del_all);
    connect(add_query_, &QPushButton::clicked, this, &sel_tables_page::on_add_query);
    connect(available_, &QListWidget::itemDoubleClicked, this, [this] { on_add(); });
    connect(selected_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { on_edit_query(item->text()); });
}

bool sel_tables_page::in_lists(const QString& name) const {
    return find_nocase(available_, name) >= 0 || find_nocase(selected_, name) >= 0;
}

bool sel_tables_page::page_init() {
    control<QLabel>(1337)->setText("Select MySQL tables to convert into DB2 format.");
    control<QLabel>(1334)->setText("&Available tables:");
    control<QLabel>(1312)->setText("&Selected tables:");
    std::vector<std::u16string> names;
    try {
        wizard_conv().get_all_tables(names);
    } catch (const tk_exception& e) {
        wizard_shell::get_instance().error(std::string(e.what()));
    }
    show_names(std::move(names));
    return true;
}

void sel_tables_page::show_names(std::vector<std::u16string> names) {
    wizard_convertor& conv = wizard_conv();
    all_names_ = std::move(names);
    do_page_init();
    add_query_->setVisible(true);
    selected_queries_.clear();
    for (const auto& [name, text] : conv.tables_and_queries()) {
        QString qname = QString::fromStdU16String(name);
        if (text.empty() || in_lists(qname)) continue;
        selected_->addItem(qname);
        selected_queries_[name] = text;
    }
    unselected_queries_ = conv.available_queries();
    for (const auto& [name, text] : unselected_queries_) {
        QString qname = QString::fromStdU16String(name);
        if (!text.empty() && find_nocase(available_, qname) < 0) available_->addItem(qname);
    }
}

void sel_tables_page::do_page_init() {
    TK_TRACE(2, "sel_tables_page::do_page_init");
    available_->clear();
    selected_->clear();
    for (const auto& name : all_names_) available_->addItem(QString::fromStdU16String(name));
    if (available_->count() > 0) available_->setCurrentRow(0);
}

void sel_tables_page::move_entry(QListWidget* from, QListWidget* to, int row) {
    std::unique_ptr<QListWidgetItem> item(from->takeItem(row));
    std::u16string name = wide(item->text());
    to->addItem(item->text());
    query_map& source = from == available_ ? unselected_queries_ : selected_queries_;
    query_map& target = from == available_ ? selected_queries_ : unselected_queries_;
    auto query = source.find(name);
    if (query != source.end()) {
        target[query->first] = query->second;
        source.erase(query);
    }
}

void sel_tables_page::on_add() {
    TK_TRACE(2, "sel_tables_page::on_add");
    int row = available_->currentRow();
    if (row < 0) return;
    move_entry(available_, selected_, row);
    if (available_->count() > 0) {
        available_->setCurrentRow(std::min(row, available_->count() - 1));
    } else {
        selected_->setFocus();
        selected_->setCurrentRow(0);
    }
}

void sel_tables_page::on_add_all() {
    TK_TRACE(2, "sel_tables_page::on_add_all");
    while (available_->count() > 0) move_entry(available_, selected_, 0);
    selected_->setFocus();
    if (selected_->count() > 0) selected_->setCurrentRow(0);
}

void sel_tables_page::on_delete() {
    TK_TRACE(2, "sel_tables_page::on_delete");
    int row = selected_->currentRow();
    if (row < 0) return;
    move_entry(selected_, available_, row);
    if (selected_->count() > 0) {
        selected_->setCurrentRow(std::min(row, selected_->count() - 1));
    } else {
        available_->setFocus();
        available_->setCurrentRow(0);
    }
}

void sel_tables_page::on_del_all() {
    TK_TRACE(2, "sel_tables_page::on_del_all");
    while (selected_->count() > 0) move_entry(selected_, available_, 0);
    available_->setFocus();
    if (available_->count() > 0) available_->setCurrentRow(0);
}

void sel_tables_page::on_add_query() {
    TK_TRACE(2, "sel_tables_page::on_add_query");
    QString name, query;
    for (;;) {
        set_query_dlg dialog(wizard(), name, query);
        if (dialog.exec() != QDialog::Accepted) return;
        name = dialog.name();
        query = dialog.query();
        if (!in_lists(name)) {
            selected_->addItem(name);
            selected_queries_[wide(name)] = wide(query);
            return;
        }
        wizard_shell::get_instance().message(u"Duplicate table name. Try again.");
    }
}

void sel_tables_page::on_edit_query(const QString& old_name) {
    auto entry = selected_queries_.find(wide(old_name));
    if (entry == selected_queries_.end()) return;
    QString name = old_name;
    QString query = QString::fromStdU16String(entry->second);
    for (;;) {
        set_query_dlg dialog(wizard(), name, query);
        if (dialog.exec() != QDialog::Accepted) return;
        name = dialog.name();
        query = dialog.query();
        // A new name must not take the place of another table or query.
        bool renamed = !tk_equal_nocase(wide(name), wide(old_name));
        if (!renamed || !in_lists(name)) break;
        wizard_shell::get_instance().message(u"Duplicate table name. Try again.");
    }
    selected_queries_.erase(wide(old_name));
    selected_queries_[wide(name)] = wide(query);
    int row = find_nocase(selected_, old_name);
    if (row >= 0) delete selected_->takeItem(row);
    selected_->addItem(name);
}

int sel_tables_page::on_next() {
    if (available_->count() > 0 && selected_->count() == 0 && !question_.isEmpty() &&
        !wizard_shell::get_instance().question(wide(question_), true))
        return -1;
    tables_.clear();
    for (int row = 0; row < selected_->count(); ++row) {
        QListWidgetItem* item = selected_->item(row);
        if (item == nullptr) return -1;
        std::u16string name = wide(item->text());
        if (selected_queries_.count(name) == 0) tables_.push_back(name);
    }
    wizard_convertor& conv = wizard_conv();
    conv.set_selected_tables(tables_);
    if (conv.tables_and_queries() != selected_queries_) conv.tables_and_queries() = selected_queries_;
    if (conv.available_queries() != unselected_queries_)
        conv.available_queries() = unselected_queries_;
    return 0;
}
