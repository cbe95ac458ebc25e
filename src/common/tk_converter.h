// The generic conversion task at the root of the converter: the finished and silent flags, the
// source and destination names and the trace file the run writes to. The converter is one
// object per process (see quorvex_convertor); its settings are written by the front end before
// a run and read by the run.
#pragma once

#include <atomic>
#include <string>

class tk_converter {
public:
    tk_converter();
    virtual ~tk_converter();

    tk_converter(const tk_converter&) = delete;
    tk_converter& operator=(const tk_converter&) = delete;

    // The conversion. This base version idles until ready() and then calls work().
    virtual void run();
    virtual bool ready();
    // Sleeps 100 milliseconds.
    virtual void idle();
    virtual void work();
    virtual void set_silent(bool silent);

    // Switches the trace file. A non-empty path must not name an existing file that cannot be
    // written ("Logfile name specifies an existing read-only file.") and its folder must exist
    // ("Logfile path does not exist.\nPlease verify the correct path was given."); both are
    // tk_exception of level 1 and leave everything unchanged. The path is stored also when
    // empty; an empty path keeps the current trace file. The new file is not emptied: later
    // lines are appended to it.
    void set_logfile(const std::string& path);

    // Asks a run on another thread to end: the run stops before its next record as if the user
    // had aborted it (the wizard's Cancel). The front end clears it before it starts a run.
    void request_stop() { stop_requested_ = true; }
    void clear_stop_request() { stop_requested_ = false; }
    bool stop_requested() const { return stop_requested_; }

    bool finished() const { return finished_; }
    void set_finished(bool finished) { finished_ = finished; }
    bool silent() const { return silent_; }
    // MySQL database name.
    const std::u16string& source_name() const { return source_name_; }
    void set_source_name(std::u16string name) { source_name_ = std::move(name); }
    // DB2 database name (the alias connected to); set through set_destination_name.
    const std::u16string& destination_name() const { return destination_name_; }
    // The path last given to set_logfile.
    const std::string& log_file_name() const { return log_file_name_; }

protected:
    // Read by the wizard's window thread while the run sets it.
    std::atomic<bool> finished_{false};
    bool silent_ = false;
    std::u16string source_name_;
    std::u16string destination_name_;
    std::string log_file_name_;
    std::atomic<bool> stop_requested_{false};
};
