// A folder of damaged, disguised and hostile files: every file gets exactly one result
// line, every JPEG written decodes, and the run reaches its footer with exit status 0.

#include <cstdint>
#include <string>
#include <vector>

#include <zlib.h>

#include <gtest/gtest.h>

#include "convert/documents_fixture.h"
#include "engine_fixture.h"
#include "video_sample.h"

namespace morvane::test {
namespace {

std::string truncated(const std::string& bytes, std::size_t keep) {
    return bytes.substr(0, std::min(keep, bytes.size()));
}

// Flips one bit in every 37th byte after the first 16, the same way every time.
std::string bit_flipped(std::string bytes) {
    for (std::size_t i = 16; i < bytes.size(); i += 37)
        bytes[i] = static_cast<char>(bytes[i] ^ 0x10);
    return bytes;
}

void put_be32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(value >> shift));
}

std::string png_chunk(const std::string& type, const std::string& data) {
    std::string chunk;
    put_be32(chunk, static_cast<std::uint32_t>(data.size()));
    const std::string body = type + data;
    chunk += body;
    put_be32(chunk, static_cast<std::uint32_t>(
                        crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
    return chunk;
}

// A few hundred bytes that claim a 100000 x 100000 picture.
std::string png_bomb() {
    std::string header;
    put_be32(header, 100000);
    put_be32(header, 100000);
    header += std::string("\x08\x00\x00\x00\x00", 5);  // 8-bit gray
    std::string raw(100001, '\0');                     // the first rows only
    uLongf size = compressBound(raw.size());
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size,
             reinterpret_cast<const Bytef*>(raw.data()), raw.size());
    packed.resize(size);
    return "\x89PNG\r\n\x1a\n" + png_chunk("IHDR", header) + png_chunk("IDAT", packed) +
           png_chunk("IEND", "");
}

// A GIF whose screen and image claim 65535 x 65535 pixels.
std::string gif_bomb() {
    std::string gif = "GIF89a";
    gif += std::string("\xff\xff\xff\xff\x80\x00\x00", 7);  // screen, 2-colour table
    gif += std::string("\x00\x00\x00\xff\xff\xff", 6);
    gif += std::string("\x2c\x00\x00\x00\x00\xff\xff\xff\xff\x00", 10);
    gif += std::string("\x02\x02\x44\x01\x00\x3b", 6);  // a few pixels of data, end
    return gif;
}

struct Kind {
    const char* ext;
    const char* format;
};

const std::vector<Kind> kKinds = {{".png", "PNG"},  {".jpg", "JPEG"}, {".gif", "GIF"},
                                  {".tif", "TIFF"}, {".bmp", "BMP"},  {".pdf", "PDF"},
                                  {".ps", "PS"},    {".avi", "AVI"},  {".mpg", "MPEG"}};

// A sound file of the kind, made by the library that writes such files.
void make_good(const std::string& path, const Kind& kind) {
    const std::string format = kind.format;
    if (format == "PDF") {
        ASSERT_TRUE(make_pdf(path, "rgb"));
    } else if (format == "PS") {
        write_file(path, postscript_pages("rg"));
    } else if (format == "AVI") {
        ASSERT_TRUE(write_video(path, {.frames = 6}));
    } else if (format == "MPEG") {
        ASSERT_TRUE(
            write_video(path, {.container = "mpeg", .coding = VideoCoding::Mpeg1, .frames = 6}));
    } else {
        make_picture(path, {.width = 120, .height = 90, .format = kind.format, .frames = 2});
    }
}

// Writes the malformed variants of every kind into the source folder; returns how many.
int make_corpus(const std::string& folder) {
    int count = 0;
    auto add = [&](const std::string& name, const std::string& bytes) {
        write_file(folder + "/" + name, bytes);
        ++count;
    };
    for (const Kind& kind : kKinds) {
        // Sound files get names of their own, so no two outputs share a name.
        const std::string good_path = folder + "/" + kind.format + "_good" + kind.ext;
        make_good(good_path, kind);
        ++count;
        const std::string good = read_file(good_path);
        const std::string stem = std::string(kind.format);
        add(stem + "_half" + kind.ext, truncated(good, good.size() / 2));
        add(stem + "_head" + kind.ext, truncated(good, 10));
        add(stem + "_flipped" + kind.ext, bit_flipped(good));
        add(stem + "_empty" + kind.ext, "");
    }
    add("png_named.gif", read_file(folder + "/PNG_good.png"));
    add("text_named.png", "just some text, not a picture\n");
    add("pdf_named.avi", read_file(folder + "/PDF_good.pdf"));
    add("avi_named.pdf", read_file(folder + "/AVI_good.avi"));
    add("jpeg_named.ps", read_file(folder + "/JPEG_good.jpg"));
    add("bomb.png", png_bomb());
    add("bomb.gif", gif_bomb());
    return count;
}

TEST_F(EngineTest, MalformedCorpusGetsOneLineEachAndNoBrokenOutput) {
    const int files = make_corpus(in_);
    write_job({"[FORMATS]", "PNG=1", "JPEG=1", "GIF=1", "TIF=1", "BMP=1", "PDF=1", "EPS=1", "AVI=1",
               "MPEG=1", "[JPEG]", "quality=80", "[TIFF]", "extract_all=1", "[LIMITS]", "time=60"});
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(result_lines(log_body()), static_cast<unsigned>(files)) << log_body();
    EXPECT_NE(log().find("converted files: " + std::to_string(files) + "\r\n"), std::string::npos);
    for (const std::string& name : list_folder(out_)) {
        EXPECT_NE(name[0], '.') << "a work file was left: " << name;
        EXPECT_TRUE(read_picture(out_ + "/" + name).ok) << name;
    }
    for (const char* bomb : {"/bomb.png", "/bomb.gif"}) {
        EXPECT_NE(log_body().find("Could not convert " + in_ + bomb + " !"), std::string::npos)
            << bomb;
    }
    for (const Kind& kind : kKinds) {
        const std::string good = in_ + "/" + kind.format + "_good" + kind.ext;
        EXPECT_NE(log_body().find(good + " converted\r\n"), std::string::npos) << good;
    }
    EXPECT_EQ(list_folder(tmp_),
              (std::vector<std::string>{"Tarvik_morvane.lock", "Tarvik_morvane.log"}));
}

// A document that never ends is stopped at the time limit and the next file converts.
TEST_F(EngineTest, EndlessPostScriptIsStoppedAndTheRunGoesOn) {
    write_file(in_ + "/endless.ps", "%!PS\n{ 1 pop } loop\n");
    make_picture(in_ + "/next.png");
    write_job({"[FORMATS]", "PNG=1", "EPS=1", "[LIMITS]", "time=2"});
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(log_body(), "Could not convert " + in_ +
                              "/endless.ps !\r\n\ttime limit of 2 s exceeded\r\n" + in_ +
                              "/next.png converted\r\n");
    EXPECT_TRUE(page_files_in(tmp_).empty());
}

}  // namespace
}  // namespace morvane::test
