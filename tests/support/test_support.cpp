#include "test_support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <magick/MagickCore.h>

extern char** environ;

namespace morvane::test {
namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "morvane-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Give back write permission that a test took away, so everything can go.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec)) chmod(it->path().c_str(), 0700);
    }
    chmod(path_.c_str(), 0700);
    fs::remove_all(path_, ec);
}

std::string TempDir::operator/(const std::string& name) const {
    return path_ + "/" + name;
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> list_folder(const std::string& path) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(path, ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void make_folder(const std::string& path) {
    fs::create_directories(path);
}

namespace {

struct MagickOnce {
    MagickOnce() {
        if (IsMagickCoreInstantiated() == MagickFalse) MagickCoreGenesis(nullptr, MagickFalse);
    }
};

void start_magick() {
    static MagickOnce once;
}

// "xc:colour" and "gradient:from-to" painted without their readers, for a test program
// that started ImageMagick as the engine does (its security policy refuses them); null
// for any other pattern.
Image* painted_image(const ImageInfo* info, const std::string& pattern, ExceptionInfo* exception) {
    const bool plain = pattern.rfind("xc:", 0) == 0;
    const bool gradient = pattern.rfind("gradient:", 0) == 0;
    if (!plain && !gradient) return nullptr;
    Image* image = AcquireImage(info);
    const std::string colours = pattern.substr(pattern.find(':') + 1);
    const std::string from = gradient ? colours.substr(0, colours.find('-')) : colours;
    const std::string to = gradient ? colours.substr(colours.find('-') + 1) : colours;
    PixelPacket start{};
    PixelPacket stop{};
    const bool painted =
        QueryColorDatabase(from.c_str(), &start, exception) != MagickFalse &&
        QueryColorDatabase(to.c_str(), &stop, exception) != MagickFalse &&
        GradientImage(image, LinearGradient, PadSpread, &start, &stop) != MagickFalse;
    if (!painted) image = DestroyImage(image);
    return image;
}

// One image of the pattern; frame numbers shift the colours so frames differ.
Image* pattern_image(const PictureSpec& spec, int frame, ExceptionInfo* exception) {
    ImageInfo* info = AcquireImageInfo();
    const bool part = frame > 0 && spec.partial_frames;
    std::string size = part ? std::string("16x16")
                            : std::to_string(spec.width) + "x" + std::to_string(spec.height);
    (void)CloneString(&info->size, size.c_str());
    std::string pattern = spec.pattern;
    if (frame > 0) pattern = "xc:" + std::string(frame % 2 ? "green" : "blue");
    std::strncpy(info->filename, pattern.c_str(), MaxTextExtent - 1);
    Image* image = ReadImage(info, exception);
    if (image == nullptr) {
        ClearMagickException(exception);
        image = painted_image(info, pattern, exception);
    }
    DestroyImageInfo(info);
    if (image != nullptr && part) {
        image->page.width = static_cast<size_t>(spec.width);
        image->page.height = static_cast<size_t>(spec.height);
        image->page.x = 8;
        image->page.y = 8;
    }
    return image;
}

// Makes the left half fully transparent.
void add_transparency(Image* image, ExceptionInfo* exception) {
    SetImageAlphaChannel(image, SetAlphaChannel);
    for (ssize_t y = 0; y < static_cast<ssize_t>(image->rows); ++y) {
        PixelPacket* row = GetAuthenticPixels(image, 0, y, image->columns, 1, exception);
        if (row == nullptr) return;
        for (size_t x = 0; x < image->columns / 2; ++x) row[x].opacity = TransparentOpacity;
        SyncAuthenticPixels(image, exception);
    }
}

}  // namespace

void make_picture(const std::string& path, const PictureSpec& spec) {
    start_magick();
    ExceptionInfo* exception = AcquireExceptionInfo();
    Image* images = NewImageList();
    for (int frame = 0; frame < spec.frames; ++frame) {
        Image* image = pattern_image(spec, frame, exception);
        if (image == nullptr) throw std::runtime_error("cannot make pattern " + spec.pattern);
        if (spec.alpha) add_transparency(image, exception);
        AppendImageToList(&images, image);
    }
    ImageInfo* info = AcquireImageInfo();
    info->adjoin = MagickTrue;
    std::string name = spec.format + ":picture";
    std::strncpy(info->filename, name.c_str(), MaxTextExtent - 1);
    std::strncpy(info->magick, spec.format.c_str(), MaxTextExtent - 1);
    for (Image* p = images; p != nullptr; p = GetNextImageInList(p)) {
        std::strncpy(p->filename, name.c_str(), MaxTextExtent - 1);
    }
    size_t length = 0;
    void* blob = ImagesToBlob(info, images, &length, exception);
    DestroyImageInfo(info);
    DestroyImageList(images);
    DestroyExceptionInfo(exception);
    if (blob == nullptr) throw std::runtime_error("cannot encode " + spec.format);
    write_file(path, std::string(static_cast<const char*>(blob), length));
    RelinquishMagickMemory(blob);
}

namespace {

Rgb mean_of(Image* image, ssize_t x0, ssize_t y0, size_t width, size_t height,
            ExceptionInfo* exception) {
    double sums[3] = {0, 0, 0};
    for (ssize_t y = y0; y < y0 + static_cast<ssize_t>(height); ++y) {
        const PixelPacket* row = GetVirtualPixels(image, x0, y, width, 1, exception);
        if (row == nullptr) return {};
        for (size_t x = 0; x < width; ++x) {
            sums[0] += row[x].red;
            sums[1] += row[x].green;
            sums[2] += row[x].blue;
        }
    }
    const double count = static_cast<double>(width * height) * QuantumRange;
    return {sums[0] / count, sums[1] / count, sums[2] / count};
}

void channel_means(Image* image, PictureInfo& result, ExceptionInfo* exception) {
    const Rgb mean = mean_of(image, 0, 0, image->columns, image->rows, exception);
    result.red = mean.red;
    result.green = mean.green;
    result.blue = mean.blue;
}

Image* decode_file(const std::string& path, ExceptionInfo* exception) {
    const std::string bytes = read_file(path);
    if (bytes.empty()) return nullptr;
    ImageInfo* info = AcquireImageInfo();
    const std::string ext = fs::path(path).extension().string();
    std::strncpy(info->filename, ("picture" + ext).c_str(), MaxTextExtent - 1);
    Image* image = BlobToImage(info, bytes.data(), bytes.size(), exception);
    DestroyImageInfo(info);
    return image;
}

}  // namespace

Rgb region_mean(const std::string& path, int x, int y, int width, int height) {
    start_magick();
    ExceptionInfo* exception = AcquireExceptionInfo();
    Rgb mean;
    if (Image* image = decode_file(path, exception)) {
        mean = mean_of(image, x, y, static_cast<size_t>(width), static_cast<size_t>(height),
                       exception);
        DestroyImageList(image);
    }
    DestroyExceptionInfo(exception);
    return mean;
}

PictureInfo read_picture(const std::string& path) {
    start_magick();
    PictureInfo result;
    ExceptionInfo* exception = AcquireExceptionInfo();
    Image* image = decode_file(path, exception);
    if (image != nullptr) {
        result.ok = true;
        result.format = image->magick;
        result.width = static_cast<int>(image->columns);
        result.height = static_cast<int>(image->rows);
        result.quality = static_cast<int>(image->quality);
        result.progressive =
            image->interlace != NoInterlace && image->interlace != UndefinedInterlace;
        result.images = static_cast<int>(GetImageListLength(image));
        channel_means(image, result, exception);
        DestroyImageList(image);
    }
    DestroyExceptionInfo(exception);
    return result;
}

int run_program(const std::string& program, const std::vector<std::string>& args,
                const std::map<std::string, std::string>& env) {
    std::vector<std::string> argv_text{program};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::map<std::string, std::string> merged;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry(*e);
        auto eq = entry.find('=');
        if (eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [key, value] : env) merged[key] = value;
    std::vector<std::string> env_text;
    for (const auto& [key, value] : merged) env_text.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (auto& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

}  // namespace morvane::test
