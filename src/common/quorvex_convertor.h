// The converter: the one object of a process that holds every setting of a conversion, both
// sides' connection settings and the progress of the run. Front ends create exactly one, fill
// its settings, connect both sides through it and start its run. It is a single instance:
// a second one, or an access when there is none, is an internal error.
#pragma once

#include <cstdint>
#include <string>

#include "common/db2_conv.h"
#include "common/mysql_conv.h"
#include "common/udb_converter.h"
#include "tk/tk_singl.h"

class quorvex_convertor : public udb_converter,
                          public db2_converter_impl,
                          public mysql_converter_impl,
                          public tk_single_instance<quorvex_convertor> {
public:
    // Existing-table modes of the run.
    static constexpr int32_t mode_overwrite = 0;
    static constexpr int32_t mode_merge = 1;
    static constexpr int32_t mode_skip = 2;

    // The console agent's converter: run mode overwrite, nothing read from saved settings.
    quorvex_convertor();
    ~quorvex_convertor() override;

    // The table conversion loop is not part of this build yet: raises tk_exception of level 1
    // rather than idling for ever in the base version.
    void run() override;
    // Always false until the MySQL side can open a database.
    bool test_query(const std::u16string& statement) override;

    std::u16string get_destination_name() const override { return destination_name_; }
    void set_destination_name(const std::u16string& name) override { destination_name_ = name; }

    // Existing-table mode of the run: mode_overwrite, mode_merge or mode_skip.
    int32_t run_mode() const { return run_mode_; }
    void set_run_mode(int32_t mode) { run_mode_ = mode; }

private:
    // The wizard's saved settings (registry values) join here with the wizard.
    int32_t run_mode_ = mode_overwrite;
};
