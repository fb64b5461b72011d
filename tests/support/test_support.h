#pragma once
// Shared by the tests: a private folder per test, small file helpers, pictures made
// with ImageMagick at run time and read back, and running the built programs.

#include <map>
#include <string>
#include <vector>

namespace morvane::test {

// A fresh folder under the system's temporary folder, removed with everything in it
// when the object goes.
class TempDir {
  public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    [[nodiscard]] const std::string& path() const { return path_; }
    // path() + "/" + name
    [[nodiscard]] std::string operator/(const std::string& name) const;

  private:
    std::string path_;
};

void write_file(const std::string& path, const std::string& bytes);
[[nodiscard]] std::string read_file(const std::string& path);
[[nodiscard]] bool exists(const std::string& path);
// Names in a folder (no "." or ".."), sorted.
[[nodiscard]] std::vector<std::string> list_folder(const std::string& path);
void make_folder(const std::string& path);  // with every missing parent

// Makes a picture file with ImageMagick. `pattern` is an ImageMagick pseudo-image such as
// "gradient:red-blue" or "xc:white"; `frames` > 1 makes a multi-image file (GIF, TIFF,
// ICO) whose frames differ; `alpha` adds a transparent area. The format comes from
// `format` (ImageMagick's name: "PNG", "GIF", "TIFF", ...). The file name is used
// literally.
struct PictureSpec {
    int width = 64;
    int height = 48;
    std::string format = "PNG";
    std::string pattern = "gradient:red-blue";
    int frames = 1;
    bool alpha = false;
    // Frames after the first are a 16x16 square at +8+8 over the first, as an
    // optimised animation stores them.
    bool partial_frames = false;
};
void make_picture(const std::string& path, const PictureSpec& spec = {});

// What ImageMagick reads back from a file.
struct PictureInfo {
    bool ok = false;
    std::string format;  // ImageMagick's magick, e.g. "JPEG"
    int width = 0;
    int height = 0;
    int quality = 0;  // the JPEG quality ImageMagick estimates
    bool progressive = false;
    int images = 0;  // images in the file
    // Mean of each channel of the first image, 0..1 (red, green, blue).
    double red = 0, green = 0, blue = 0;
};
[[nodiscard]] PictureInfo read_picture(const std::string& path);

// Mean colour (0..1 per channel) of a rectangle of the first image of a picture file.
struct Rgb {
    double red = 0, green = 0, blue = 0;
};
[[nodiscard]] Rgb region_mean(const std::string& path, int x, int y, int width, int height);

// Runs a program with arguments and extra environment; returns its exit status
// (128 + signal when killed).
[[nodiscard]] int run_program(const std::string& program, const std::vector<std::string>& args,
                              const std::map<std::string, std::string>& env = {});

}  // namespace morvane::test
