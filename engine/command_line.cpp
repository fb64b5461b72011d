#include "command_line.h"

#include "output_name.h"

namespace morvane {

std::string join_arguments(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line.push_back(' ');
        line.append(argv[i]);
    }
    return line;
}

std::vector<std::string> split_command_line(std::string_view line) {
    line = line.substr(0, kCommandLineBuffer - 1);
    if (!line.empty() && line.front() == '"') line.remove_prefix(1);
    if (!line.empty() && line.back() == '"') line.remove_suffix(1);

    std::vector<std::string> fields;
    std::size_t start = 0;
    while (start <= line.size() && fields.size() < kMaxFields) {
        std::size_t bar = line.find('|', start);
        if (bar == std::string_view::npos) bar = line.size();
        if (bar > start) fields.emplace_back(line.substr(start, bar - start));
        start = bar + 1;
    }
    return fields;
}

namespace {

Invocation single_file(const std::vector<std::string>& fields, std::string job_file) {
    Invocation call;
    call.mode = RunMode::SingleFile;
    call.job_file = std::move(job_file);
    call.source = fields[1];
    return call;
}

// The run ends at once; only the single-instance setting is read, from the default job.
Invocation incomplete(const std::string& default_job_file) {
    Invocation call;
    call.complete = false;
    call.job_file = default_job_file;
    return call;
}

}  // namespace

Invocation select_form(const std::vector<std::string>& fields,
                       const std::string& default_job_file) {
    Invocation call;
    call.job_file = default_job_file;
    if (fields.empty()) return call;
    const std::size_t count = fields.size();
    switch (fields[0].front()) {
        case 'C':
            if (count < 2) return incomplete(default_job_file);
            call.job_file = fields[1];
            return call;
        case 'G':
            if (count < 2) return incomplete(default_job_file);
            call.job_file = fields[1];
            call.monitored = true;
            return call;
        case 'P': {
            if (count < 2) return incomplete(default_job_file);
            Invocation p = single_file(fields, default_job_file);
            if (count == 3) p.output = fields[2];
            return p;
        }
        case 'Q': {
            if (count < 4) return incomplete(default_job_file);
            Invocation q = single_file(fields, fields[3]);
            q.output = fields[2];
            return q;
        }
        default:
            return call;
    }
}

std::string default_single_output(const std::string& target, const std::string& source) {
    return source_output(target, source, false).path;
}

}  // namespace morvane
