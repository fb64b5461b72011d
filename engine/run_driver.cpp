#include "run_driver.h"

#include <cstdio>
#include <optional>
#include <string>

#include "command_line.h"
#include "convert_source.h"
#include "dispatch.h"
#include "imaging.h"
#include "instance_lock.h"
#include "job_keys.h"
#include "job_settings.h"
#include "link_ids.h"
#include "leftovers.h"
#include "log_file.h"
#include "modules.h"
#include "monitor_link.h"
#include "path_util.h"
#include "program_folder.h"
#include "run_report.h"
#include "stop_request.h"
#include "supervise.h"
#include "temp_folder.h"
#include "walks.h"
#include "worker_folder.h"
#include "workers.h"

namespace morvane {
namespace {

std::string in_folder(const std::string& folder, const char* name) {
    std::string path = folder + "/" + name;
    tidy_path(path);
    return path;
}

// Reads the job; a missing source or target key is logged and ends the run, with the
// reason on a tab-indented line when the key was refused rather than missing.
std::optional<int> read_job(const Invocation& call, const std::string& command_line, LogFile& log,
                            JobSettings& job) {
    const JobReadStatus status = read_job_settings(call.job_file, job);
    switch (status) {
        case JobReadStatus::SourceMissing:
            log.printf("Source key not found\r\niniPath: %s\r\nCmdLine: %s\r\n",
                       call.job_file.c_str(), command_line.c_str());
            break;
        case JobReadStatus::TargetMissing:
            log.printf("Target key not found\r\nCmdLine: %s\r\n", command_line.c_str());
            break;
        case JobReadStatus::Ok:
            job.job_file_path = call.job_file;
            job.mode = call.mode;
            job.extension_filter = build_extension_filter(job);
            return std::nullopt;
    }
    if (!job.stop_reason.empty()) log.printf("\t%s\r\n", job.stop_reason.c_str());
    return status == JobReadStatus::SourceMissing ? kExitNoSource : kExitNoTarget;
}

unsigned convert_single_file(RunContext& ctx, const std::string& source,
                             const std::string& output) {
    const OutputName name = OutputName::plain(output);
    const ConvertOutcome outcome =
        supervised(ctx, source, output, [&] { return convert_source(ctx, source, name); });
    log_result(ctx.log, source, outcome, false);
    return 1;
}

unsigned convert_listed_files(RunContext& ctx, const std::vector<ListedFile>& files,
                              StopRequest stop) {
    Workers workers(ctx, stop);
    unsigned count = 0;
    for (const ListedFile& file : files) {
        if (workers.stopped()) break;
        if (file.refusal.empty()) {
            workers.hand_on(file.path, false);
        } else {
            workers.refuse(file.path, file.refusal);
        }
        ++count;
    }
    workers.finish();
    return count;
}

unsigned convert_folder(RunContext& ctx, StopRequest stop) {
    std::string root = ctx.job.source;
    tidy_source_path(root);
    Workers workers(ctx, stop);
    const unsigned count =
        ctx.job.recurse ? walk_folder(ctx, workers, root) : walk_flat(ctx, workers, root);
    workers.finish();
    return count;
}

unsigned run_mode(RunContext& ctx, JobSettings& job, const Invocation& call, const FileList& list,
                  StopRequest stop) {
    if (call.mode == RunMode::SingleFile) {
        const std::string output =
            call.output.empty() ? default_single_output(job.target, call.source) : call.output;
        return convert_single_file(ctx, call.source, output);
    }
    if (list.read) {
        job.mode = RunMode::Files;
        return convert_listed_files(ctx, list.files, stop);
    }
    return convert_folder(ctx, stop);
}

// The "G" form's file list; one that is there but cannot be used is noted for the log,
// and the run walks the source folder as without a list.
FileList read_listed_files(JobSettings& job) {
    FileList list = read_file_list(job.file_list_path);
    if (!list.refusal.empty()) {
        job.notes.push_back("The file list " + job.file_list_path + " cannot be used: it " +
                            list.refusal);
    }
    return list;
}

struct StartUp {
    std::string program_folder;
    std::string default_job;
    std::string temp_folder;
    std::string command_line;
    Invocation call;
    InstanceLock lock;
    StopRequest stop;
};

// Why the engine could not start, for stderr and the log, and its exit status.
struct StartFailure {
    std::string message;
    int status = kExitNormal;
};

// Takes the single-instance lock when the job the run reads asks for it (the default job
// for a form that ends at once); nothing when the run goes on, a failure without a
// message when another run holds the lock.
std::optional<StartFailure> take_lock(StartUp& s) {
    if (read_mono_instance(s.call.job_file) == 0) return std::nullopt;
    std::string reason = "no temporary folder can be used";
    std::string path = kLockFileName;
    if (!s.temp_folder.empty()) {
        path = InstanceLock::path_in(s.temp_folder);
        tidy_path(path);
        switch (s.lock.acquire(s.temp_folder, reason)) {
            case LockStatus::Taken:
                return std::nullopt;
            case LockStatus::HeldByAnother:
                return StartFailure{{}, kExitNormal};
            case LockStatus::Failed:
                break;
        }
    }
    return StartFailure{"The single-instance lock " + path + " cannot be taken: " + reason,
                        kExitNoLock};
}

// The steps before the log is opened: the folders, the command line's form, the lock,
// ImageMagick.
std::optional<StartFailure> start_up(StartUp& s, const std::string& command_line,
                                     ImagingStarter start_imaging) {
    s.program_folder = program_folder();
    s.default_job = in_folder(s.program_folder, kJobFileName);
    s.temp_folder = user_temp_folder().value_or("");
    s.command_line = command_line;
    s.call = select_form(split_command_line(command_line), s.default_job);
    if (auto failure = take_lock(s)) return failure;
    std::string reason;
    if (!start_imaging(s.program_folder, reason)) {
        return StartFailure{"ImageMagick cannot be started: " + reason, kExitNoImaging};
    }
    return std::nullopt;
}

// A failed start is told on stderr and, when the log can be created, in the log; a run
// turned away by another run says nothing and leaves that run's log alone.
int report_start_failure(const StartUp& s, const StartFailure& failure) {
    if (failure.message.empty()) return failure.status;
    std::fprintf(stderr, "Tarvik_morvane: %s\n", failure.message.c_str());
    LogFile log;
    if (!s.temp_folder.empty() && log.open(in_folder(s.temp_folder, kRunLogName))) {
        log.printf("%s\r\n", failure.message.c_str());
    }
    return failure.status;
}

int run(const StartUp& s, LogFile& log) {
    const Invocation& call = s.call;
    const std::string& command_line = s.command_line;
    if (!call.complete) return kExitNormal;
    if (call.mode == RunMode::SingleFile && call.output.empty() && !has_target_key(s.default_job)) {
        return kExitNormal;
    }
    MonitorLink link;
    if (call.monitored) {
        link = MonitorLink::find_window(s.temp_folder);
        link.run_start();
    }
    JobSettings job;
    if (auto early = read_job(call, command_line, log, job)) return *early;
    FileList list;
    if (call.monitored) {
        job.file_list_path = in_folder(s.temp_folder, kFileListName);
        list = read_listed_files(job);
    }

    write_log_header(log, job);
    for (const std::string& note : job.notes) log.printf("%s\r\n", note.c_str());
    TempFiles temp{s.temp_folder, {}};
    // Each worker process loads the modules it needs on first use.
    ModuleLoader modules(s.program_folder);
    WorkJournal journal;
    // Sweeps first what a killed run left behind, and finishes its interrupted move.
    (void)journal.open(s.temp_folder, &log);
    sweep_worker_folders(s.temp_folder);
    RunContext ctx{job, log, link, temp, &modules, {}, &journal};
    const unsigned count = run_mode(ctx, job, call, list, s.stop);
    write_log_footer(log, count, s.stop.asked());
    log.close();
    clean_temp_folder(temp, job.file_list_path);
    finish_monitored_run(link, s.temp_folder);
    return kExitNormal;
}

}  // namespace

int run_engine(int argc, char** argv, ImagingStarter start_imaging) {
    StartUp s;
    // From the start: a stop asked while ImageMagick starts still ends the run soundly.
    s.stop = StopRequest::from_signals();
    if (auto failure = start_up(s, join_arguments(argc, argv), start_imaging)) {
        stop_imaging();
        return report_start_failure(s, *failure);
    }
    LogFile log;
    int status = kExitNoLog;
    if (!s.temp_folder.empty() && log.open(in_folder(s.temp_folder, kRunLogName))) {
        status = run(s, log);
    }
    stop_imaging();
    return status;
}

}  // namespace morvane
