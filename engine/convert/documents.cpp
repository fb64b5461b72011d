// PDF, PostScript, EPS and Illustrator sources: the page renderer draws the pages into
// page files in the temporary folder, and each page becomes its own JPEG through
// ImageMagick's convert command with the job's output options.

#include "documents.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "arg_vector.h"
#include "converters.h"
#include "job_settings.h"
#include "log_file.h"
#include "magick_adapter.h"
#include "monitor_link.h"
#include "output_files.h"
#include "output_options.h"
#include "page_renderer.h"
#include "path_util.h"
#include "watermark.h"

namespace morvane {

namespace {

constexpr int kDefaultDensity = 72;

struct Document {
    RunContext& ctx;
    const std::string& source;  // as given; the log names it so
    std::string input;          // the absolute path the renderer reads
    std::string folder;         // of the outputs: the given output name's folder
    std::string base;           // the source's name without folder and extension
    bool pdf = false;
};

Document make_document(RunContext& ctx, const std::string& source, const OutputName& output,
                       bool pdf) {
    return {
        ctx, source, absolute_path(source), split_path(output.path).folder, split_path(source).name,
        pdf};
}

// Why a page was not written: ImageMagick could not read or convert it, or its output
// file could not be written.
struct PageFailure {
    std::string reason;
    bool unreadable = false;
};

// Removes what is left of a document's page files on every way out.
class PageFilesGuard {
  public:
    PageFilesGuard(std::string folder, std::string base)
        : folder_(std::move(folder)), base_(std::move(base)) {}
    PageFilesGuard(const PageFilesGuard&) = delete;
    PageFilesGuard& operator=(const PageFilesGuard&) = delete;
    ~PageFilesGuard() { remove_page_files(folder_, base_); }

  private:
    std::string folder_;
    std::string base_;
};

// One page: "<folder><base>.jpg"; several: "<folder><base>_%05d.jpg" with the number.
std::string page_output(const Document& d, std::size_t count, int number) {
    std::string path = d.folder + d.base;
    if (count > 1) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "_%05d", number);
        path += digits;
    }
    path += ".jpg";
    tidy_path(path);
    return path;
}

WriteStatus run_page_command(const Document& d, const std::string& page, const std::string& output,
                             PageFailure& failure) {
    const JobSettings& job = d.ctx.job;
    InputFile in;
    if (!in.open(page, failure.reason)) {
        failure.unreadable = true;
        return WriteStatus::Failed;
    }
    OutputWork work(output);
    if (!work.open(failure.reason)) return WriteStatus::Failed;
    ArgVector args("Tarvik");
    args.push_back(in.item("PNM"));
    build_output_options(job, args);
    if (!d.pdf && job.eps_trim == 1) args.push_back("-trim");
    args.push_back("JPEG:" + work.descriptor_path());
    if (!magick::convert_command(args.count(), args.argv(), failure.reason)) {
        failure.reason = in.named(failure.reason);
        failure.unreadable = true;
        return WriteStatus::Failed;
    }
    return work.commit(job.erase != 0, failure.reason);
}

WriteStatus convert_page(const Document& d, const std::string& page, const std::string& output,
                         PageFailure& failure) {
    if (d.ctx.job.erase == 0 && output_exists(output)) return WriteStatus::Exists;
    if (is_same_file(output, d.input)) {
        failure.reason = kReplacesSource;
        return WriteStatus::Failed;
    }
    const WriteStatus status = run_page_command(d, page, output, failure);
    if (status == WriteStatus::Written && d.pdf && d.ctx.job.watermark_mode == 2) {
        // A watermark image that cannot be read leaves the page as it is.
        std::string ignored;
        (void)watermark_output_file(d.ctx, output, ignored);
    }
    return status;
}

ConvertOutcome failed(const Document& d, const PageFailure& failure) {
    if (!failure.unreadable) return {kNotConverted, failure.reason};
    log_unreadable(d.ctx, d.source, failure.reason);
    return {kNotConverted, {}};
}

// Converts the page files in order, removing each once its page is done or skipped. A
// PDF gives up at its first page that fails; PostScript goes on with the next page.
ConvertOutcome convert_pages(const Document& d, const std::vector<std::string>& pages,
                             int first_number) {
    d.ctx.link.status("Writing...");
    std::size_t written = 0;
    std::size_t existed = 0;
    std::optional<PageFailure> first_failure;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const int number = first_number + static_cast<int>(i);
        d.ctx.link.status("Writing image # " + std::to_string(number) + "...");
        PageFailure failure;
        const WriteStatus status =
            convert_page(d, pages[i], page_output(d, pages.size(), number), failure);
        (void)::unlink(pages[i].c_str());
        d.ctx.heartbeat.beat();  // a long document gets its time limit per page
        if (status == WriteStatus::Written) ++written;
        if (status == WriteStatus::Exists) ++existed;
        if (status == WriteStatus::Failed && d.pdf) return failed(d, failure);
        if (status == WriteStatus::Failed && !first_failure) first_failure = std::move(failure);
    }
    d.ctx.link.progress(90);
    report_full_progress(d.ctx);
    if (written > 0) return {kConverted, {}};
    if (existed == pages.size()) return {kOutputExists, {}};
    return failed(d, first_failure.value_or(PageFailure{}));
}

ConvertOutcome render_and_convert(const Document& d, RenderRequest request) {
    if (d.ctx.temp.folder.empty()) {
        return {kNotConverted, "there is no temporary folder for the page files"};
    }
    request.source = d.input;
    request.folder = d.ctx.temp.folder;
    request.base = d.base;
    d.ctx.link.status("Reading...");
    const PageFilesGuard guard(request.folder, request.base);
    std::vector<std::string> pages;
    std::string reason;
    if (!render_pages(request, pages, reason)) {
        log_unreadable(d.ctx, d.source, reason);
        return {kNotConverted, {}};
    }
    for (const std::string& page : pages) d.ctx.temp.add(page);
    d.ctx.heartbeat.beat();
    d.ctx.link.progress(25);
    return convert_pages(d, pages, request.first_page);
}

int density_or_default(int density) {
    return density > 0 ? density : kDefaultDensity;
}

}  // namespace

void log_unreadable(RunContext& ctx, const std::string& source, const std::string& reason) {
    ctx.log.printf("The file %s cannot be read by Tarvik_morvane\r\n", source.c_str());
    ctx.log.printf("\t%s\r\n", reason.c_str());
    ctx.log.flush();
}

void report_full_progress(RunContext& ctx) {
    if (!ctx.link.connected()) return;
    ctx.link.progress(100);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

InputFile::~InputFile() {
    if (fd_ >= 0) (void)::close(fd_);
}

bool InputFile::open(const std::string& path, std::string& reason) {
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0) return true;
    reason = "the file " + path + " cannot be opened: " + std::strerror(errno);
    return false;
}

std::string InputFile::item(const char* coder) const {
    return std::string(coder) + ":" + descriptor_path();
}

std::string InputFile::named(std::string reason) const {
    const std::string name = descriptor_path();
    for (auto at = reason.find(name); at != std::string::npos; at = reason.find(name, at)) {
        // "/proc/self/fd/1" must not take the front of "/proc/self/fd/12".
        const std::size_t end = at + name.size();
        if (end < reason.size() && reason[end] >= '0' && reason[end] <= '9') {
            at = end;
            continue;
        }
        reason.replace(at, name.size(), path_);
        at += path_.size();
    }
    return reason;
}

std::string InputFile::descriptor_path() const {
    return "/proc/self/fd/" + std::to_string(fd_);
}

ConvertOutcome convert_postscript(RunContext& ctx, const std::string& source,
                                  const OutputName& output) {
    const Document d = make_document(ctx, source, output, false);
    const std::string ext = split_path(source).ext;
    RenderRequest request;
    request.density = density_or_default(ctx.job.eps_density);
    request.eps_crop = extension_starts_with(ext, ".eps") || extension_starts_with(ext, ".ept");
    return render_and_convert(d, request);
}

ConvertOutcome convert_pdf(RunContext& ctx, const std::string& source, const OutputName& output) {
    const Document d = make_document(ctx, source, output, true);
    RenderRequest request;
    request.density = density_or_default(ctx.job.pdf_density);
    // The first and last page, counted from 1 and both included; a last page of 0, or one
    // before the first, means the end of the document.
    if (ctx.job.pdf_extract_all == 0) {
        request.first_page = std::max(ctx.job.pdf_from_page, 1);
        if (ctx.job.pdf_to_page >= request.first_page) request.last_page = ctx.job.pdf_to_page;
    }
    return render_and_convert(d, request);
}

}  // namespace morvane
