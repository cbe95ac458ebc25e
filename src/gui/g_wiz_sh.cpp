#include "gui/g_wiz_sh.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QLinearGradient>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <QUrl>
#include <cmath>
#include <cstdlib>
#include <map>

#include "common/error_handler.h"
#include "gui/g_wiz_pg.h"
#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {
QString to_q(const std::u16string& text) { return QString::fromStdU16String(text); }

QPixmap draw_picture(int id) {
    const QColor deep(20, 62, 110), light(96, 160, 210);
    if (id == 311) {  // watermark: the tall picture of the welcome and finish pages
        // As tall as the page area of the wizard's window, so the panel reaches the buttons.
        QPixmap pixmap(164, 434);
        QPainter painter(&pixmap);
        QLinearGradient gradient(0, 0, 0, 434);
        gradient.setColorAt(0, deep);
        gradient.setColorAt(1, light);
        painter.fillRect(pixmap.rect(), gradient);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(255, 255, 255, 200), 3));
        for (int row = 0; row < 3; ++row) {  // two stacks of disks: one database into another
            painter.drawEllipse(QRectF(24, 60 + row * 22, 50, 16));
            painter.drawEllipse(QRectF(90, 190 + row * 22, 50, 16));
        }
        painter.drawLine(QPointF(60, 140), QPointF(104, 180));
        return pixmap;
    }
    if (id == 312) {  // header picture of the interior pages
        QPixmap pixmap(49, 49);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(light);
        painter.setPen(QPen(deep, 2));
        for (int row = 0; row < 3; ++row) painter.drawEllipse(QRectF(8, 6 + row * 12, 33, 12));
        return pixmap;
    }
    if (id == 501) {
        QPixmap pixmap(32, 32);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(deep);
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(2, 2, 28, 28), 6, 6);
        painter.setBrush(Qt::white);
        for (int row = 0; row < 3; ++row) painter.drawEllipse(QRectF(8, 7 + row * 6, 16, 6));
        return pixmap;
    }
    if (id >= 502 && id <= 509) {  // the wait animation: a dot running round a circle
        QPixmap pixmap(32, 32);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        for (int step = 0; step < 8; ++step) {
            double angle = step * M_PI / 4;
            int alpha = step == id - 502 ? 255 : 70;
            painter.setBrush(QColor(deep.red(), deep.green(), deep.blue(), alpha));
            painter.setPen(Qt::NoPen);
            painter.drawEllipse(QPointF(16 + 11 * std::sin(angle), 16 - 11 * std::cos(angle)), 3.5,
                                3.5);
        }
        return pixmap;
    }
    return QPixmap();
}
}  // namespace

QPixmap wizard_picture(int id) {
    static std::map<int, QPixmap> pictures;
    auto found = pictures.find(id);
    if (found == pictures.end()) found = pictures.emplace(id, draw_picture(id)).first;
    return found->second;
}

void gui_invoke(const std::function<void()>& function) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        function();
        return;
    }
    QMetaObject::invokeMethod(app, function, Qt::BlockingQueuedConnection);
}

void run_worker_reported(const std::function<void()>& work) {
    try {
        work();
    } catch (const tk_final_exception&) {
    } catch (const tk_exception& e) {
        try {
            error_handler::get_instance().handle(e, 1);
        } catch (const tk_final_exception&) {
        }
    } catch (const std::exception& e) {
        gui_invoke([&] { wizard_shell::get_instance().error(std::string(e.what())); });
        std::_Exit(-1);
    }
}

// ---------------------------------------------------------------------------------------------

wizard_sheet::wizard_sheet(wizard_shell& shell) : shell_(shell) {
    setWizardStyle(QWizard::ModernStyle);
    setOptions(QWizard::HaveHelpButton | QWizard::NoBackButtonOnStartPage |
               QWizard::DisabledBackButtonOnLastPage);
    // The sheet re-enables Back whenever it refreshes its buttons; the page has the last word.
    QAbstractButton* back_button = button(QWizard::BackButton);
    back_button->disconnect(this);
    connect(back_button, &QAbstractButton::clicked, this, [this] {
        auto* page = dynamic_cast<wizard_page*>(currentPage());
        if (page == nullptr || page->back_allowed()) back();
    });
    // F1 asks the current page for its help, as the Help button does.
    auto* help_key = new QShortcut(QKeySequence::HelpContents, this);
    connect(help_key, &QShortcut::activated, this, &QWizard::helpRequested);
    connect(this, &QWizard::currentIdChanged, this, &wizard_sheet::on_page_changed);
    connect(this, &QWizard::helpRequested, this, [this] {
        if (auto* page = dynamic_cast<wizard_page*>(currentPage())) page->on_help();
    });
}

void wizard_sheet::reject() {
    auto* page = dynamic_cast<wizard_page*>(currentPage());
    if (page != nullptr && !page->on_cancel()) return;
    QWizard::reject();
}

void wizard_sheet::on_page_changed(int id) {
    auto* previous = dynamic_cast<wizard_page*>(page(previous_id_));
    if (previous != nullptr && id >= 0 && id < previous_id_) previous->on_back();
    previous_id_ = id;
    if (auto* current = dynamic_cast<wizard_page*>(page(id))) current->on_set_active();
}

// ---------------------------------------------------------------------------------------------

wizard_shell::wizard_shell(std::u16string title, int icon_id, int watermark_id, int header_id)
    : title_(std::move(title)), icon_id_(icon_id), sheet_(new wizard_sheet(*this)) {
    if (watermark_id != 0) watermark_ = wizard_picture(watermark_id);
    if (header_id != 0) sheet_->setPixmap(QWizard::LogoPixmap, wizard_picture(header_id));
    help_folder_ = QString::fromStdString(tk_get_module_folder()) + "help";
    QObject::connect(&timer_, &QTimer::timeout, sheet_, [this] {
        if (auto* page = dynamic_cast<wizard_page*>(sheet_->currentPage())) page->on_timer();
    });
}

wizard_shell::~wizard_shell() {
    TK_TRACE(2, "wizard_shell::dtor");
    timer_.stop();
    timer_active_ = false;
    delete sheet_.data();
    clear_errors();
}

void wizard_shell::add_page(wizard_page* page) {
    // Only the exterior pages (welcome and finish) carry the tall picture; the interior pages
    // have their header instead.
    if (page->kind() != page_kind::interior) page->setPixmap(QWizard::WatermarkPixmap, watermark_);
    sheet_->addPage(page);
}

int wizard_shell::run() {
    QWidget* owner = QApplication::activeWindow();
    if (owner != nullptr && owner != sheet_) sheet_->setParent(owner, sheet_->windowFlags());
    return sheet_->exec();
}

void wizard_shell::first_activation() {
    if (initialized_) return;
    sheet_->setWindowTitle(to_q(title_));
    if (icon_id_ != 0) sheet_->setWindowIcon(QIcon(wizard_picture(icon_id_)));
    QWidget* parent = sheet_->parentWidget();
    QRect area = parent != nullptr ? parent->frameGeometry()
                 : sheet_->screen() != nullptr ? sheet_->screen()->availableGeometry()
                                               : QRect();
    if (area.isValid()) {
        QSize size = sheet_->sizeHint().expandedTo(sheet_->size());
        sheet_->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    }
    initialized_ = true;
}

bool wizard_shell::is_initialized() {
    TK_TRACE(2, "wizard_shell::is_initialized");
    wizard_shell* shell = peek_instance();
    if (shell != nullptr && shell->initialized_) {
        TK_TRACE(2, "Singleton has been initialized");
        return true;
    }
    TK_TRACE(2, "Before return false");
    return false;
}

QWidget* wizard_shell::owner() const { return is_initialized() ? sheet_.data() : nullptr; }

void wizard_shell::show_box(int icon, const char* caption_word, const std::u16string& text) {
    gui_invoke([&] {
        if (closing_) return;
        QString caption = is_initialized() ? to_q(title_) + " " + caption_word : caption_word;
        QMessageBox box(static_cast<QMessageBox::Icon>(icon), caption, to_q(text), QMessageBox::Ok,
                        owner());
        box.exec();
    });
}

void wizard_shell::error(const std::u16string& text) {
    TK_TRACE(2, "wizard_shell::error(%s)", TK_W(text));
    show_box(QMessageBox::Critical, "Error", text);
    TK_TRACE(3, "%s", TK_W(text));
}

void wizard_shell::error(const std::string& text) { error(tk_from_ansi(text)); }

void wizard_shell::message(const std::u16string& text) {
    TK_TRACE(2, "wizard_shell::message(%s)", TK_W(text));
    show_box(QMessageBox::Information, "Message", text);
}

bool wizard_shell::question(const std::u16string& text, bool no_is_default) {
    bool yes = false;
    gui_invoke([&] {
        if (closing_) return;
        QString caption = is_initialized() ? to_q(title_) + " Question" : "Question";
        QMessageBox box(QMessageBox::Question, caption, to_q(text),
                        QMessageBox::Yes | QMessageBox::No, owner());
        box.setDefaultButton(no_is_default ? QMessageBox::No : QMessageBox::Yes);
        yes = box.exec() == QMessageBox::Yes;
    });
    return yes;
}

void wizard_shell::enable_button(int id, bool enable) {
    static const std::map<int, QWizard::WizardButton> buttons = {
        {button_cancel, QWizard::CancelButton}, {button_help, QWizard::HelpButton},
        {button_back, QWizard::BackButton},     {button_next, QWizard::NextButton},
        {button_finish, QWizard::FinishButton}};
    auto found = buttons.find(id);
    if (found == buttons.end()) throw tk_mail_assertion("g_wiz_sh", 212);
    QAbstractButton* button = sheet_->button(found->second);
    TK_TRACE(2, "wizard_shell::enable_button(%08X)",
             static_cast<unsigned>(reinterpret_cast<uintptr_t>(button)));
    button->setEnabled(enable);
}

void wizard_shell::start_timer(int interval_ms) {
    bool was_active = false;
    gui_invoke([&] {
        was_active = timer_active_;
        if (was_active) return;
        timer_.start(interval_ms);
        timer_active_ = true;
    });
    if (was_active) throw tk_mail_assertion("g_wiz_sh", 240);
}

void wizard_shell::stop_timer() {
    gui_invoke([&] {
        timer_.stop();
        timer_active_ = false;
    });
}

void wizard_shell::display_help() {
    TK_TRACE(2, "wizard_shell::display_help");
    open_help_page("index.html");
}

void wizard_shell::display_help(int topic_id) {
    TK_TRACE(2, "wizard_shell::display_help(%d)", topic_id);
    open_help_page(QString::number(topic_id) + ".html");
}

void wizard_shell::open_help_page(const QString& file) {
    QFileInfo page(help_folder_ + "/" + file);
    if (!page.isFile()) {
        error(u"Help file does not exist. Reinstall the program.");
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page.absoluteFilePath())))
        TK_TRACE(2, "wizard_shell::display_help: no browser opened %s",
                 page.absoluteFilePath().toUtf8().constData());
}

void wizard_shell::append_error(std::string text) {
    std::lock_guard lock(errors_mutex_);
    if (errors_.size() < max_errors) errors_.push_back(std::move(text));
}

std::vector<std::string> wizard_shell::errors() const {
    std::lock_guard lock(errors_mutex_);
    return errors_;
}

void wizard_shell::clear_errors() {
    std::lock_guard lock(errors_mutex_);
    errors_.clear();
}
