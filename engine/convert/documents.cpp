// PDF, PostScript, EPS and Illustrator sources: the page renderer draws the pages into
// page files in the temporary folder, and each page becomes its own JPEG through
// ImageMagick's convert command with the job's output options.

#include "documents.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
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
#include "source_formats.h"
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

// A page file to its output: Unreadable when ImageMagick cannot read or convert it,
// Failed when the output cannot be written.
Outcome run_page_command(const Document& d, const std::string& page, const std::string& output) {
    const JobSettings& job = d.ctx.job;
    Outcome outcome{Result::Unreadable, {}};
    InputFile in;
    if (!in.open(page, outcome.reason)) return outcome;
    outcome.result = Result::Failed;
    OutputWork work(output);
    if (!work.open(outcome.reason)) return outcome;
    ArgVector args("Tarvik");
    args.push_back(in.item("PNM"));
    build_output_options(job, args);
    if (!d.pdf && job.eps_trim == 1) args.push_back("-trim");
    args.push_back("JPEG:" + work.descriptor_path());
    if (!magick::convert_command(args.count(), args.argv(), outcome.reason)) {
        return {Result::Unreadable, in.named(outcome.reason)};
    }
    outcome.result = work.commit(replaces_outputs(job), outcome.reason);
    return outcome;
}

Outcome convert_page(const Document& d, const std::string& page, const std::string& output) {
    if (auto settled = settle_output(d.ctx.job, output, d.input)) return std::move(*settled);
    const Outcome outcome = run_page_command(d, page, output);
    if (outcome.result == Result::Written && d.pdf && d.ctx.job.watermark_mode == 2) {
        // A watermark image that cannot be read leaves the page as it is.
        (void)watermark_output_file(d.ctx, output);
    }
    return outcome;
}

// Converts the page files in order, removing each once its page is done or skipped. The
// outputs are numbered from 1 in the order rendered, whatever page the range began at. A
// PDF gives up at its first page that fails; PostScript goes on with the next page.
Outcome convert_pages(const Document& d, const std::vector<std::string>& pages) {
    d.ctx.link.status("Writing...");
    std::size_t written = 0;
    std::size_t kept = 0;
    std::optional<Outcome> first_failure;
    const OutputName outputs = document_page_outputs(d.folder, d.base, pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        d.ctx.link.status("Writing image # " + std::to_string(number) + "...");
        Outcome page = convert_page(d, pages[i], outputs.for_number(static_cast<unsigned>(number)));
        (void)::unlink(pages[i].c_str());
        d.ctx.heartbeat.beat();  // a long document gets its time limit per page
        if (page.result == Result::Written) ++written;
        if (page.result == Result::Kept) ++kept;
        const bool failed = page.result != Result::Written && page.result != Result::Kept;
        if (failed && d.pdf) return page;
        if (failed && !first_failure) first_failure = std::move(page);
    }
    d.ctx.link.progress(90);
    report_full_progress(d.ctx);
    return outputs_outcome(written, kept, pages.size(), first_failure.value_or(Outcome{}));
}

Outcome render_and_convert(const Document& d, RenderRequest request) {
    if (d.ctx.temp.folder.empty()) {
        return {Result::Failed, "there is no temporary folder for the page files"};
    }
    request.source = d.input;
    request.folder = d.ctx.temp.folder;
    request.base = d.base;
    // A PDF shows "Writing..." first; PostScript says it is reading while it renders.
    if (!d.pdf) d.ctx.link.status("Reading...");
    const PageFilesGuard guard(request.folder, request.base);
    std::vector<std::string> pages;
    std::string reason;
    if (!render_pages(request, pages, reason)) return {Result::Unreadable, reason};
    for (const std::string& page : pages) d.ctx.temp.add(page);
    d.ctx.heartbeat.beat();
    d.ctx.link.progress(25);
    return convert_pages(d, pages);
}

int density_or_default(int density) {
    return density > 0 ? density : kDefaultDensity;
}

}  // namespace

void report_full_progress(RunContext& ctx) {
    if (!ctx.link.connected()) return;
    ctx.link.progress(100);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

bool InputFile::open(const std::string& path, std::string& reason) {
    path_ = path;
    fd_ = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd_) return true;
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
    return "/proc/self/fd/" + std::to_string(fd_.get());
}

Outcome convert_postscript(RunContext& ctx, const std::string& source, const OutputName& output) {
    const Document d = make_document(ctx, source, output, false);
    const std::string ext = split_path(source).ext;
    RenderRequest request;
    request.density = density_or_default(ctx.job.eps_density);
    const SourceExtension* known = source_extension(ext);
    request.eps_crop = known != nullptr && known->bounding_box;
    return render_and_convert(d, request);
}

Outcome convert_pdf(RunContext& ctx, const std::string& source, const OutputName& output) {
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
