// The camera-raw decoder module as the engine uses it: loaded from the program folder
// and called through its one C entry with DNG files made at test time.

#include "tcrw.h"

#include <string>
#include <tuple>
#include <vector>

#include <dlfcn.h>
#include <malloc.h>

#include <gtest/gtest.h>

#include "raw_sample.h"
#include "test_support.h"

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer's allocator (GCC does not ship its header).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace morvane::test {
namespace {

class Decoder : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const std::string module = std::string(PROGRAM_FOLDER "/") + kTcrwModule;
        handle_ = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) return;
        entry_ = reinterpret_cast<tcrw_decode_fn>(::dlsym(handle_, kTcrwEntry));
    }
    static void TearDownTestSuite() {
        if (handle_ != nullptr) (void)::dlclose(handle_);
    }
    void SetUp() override { ASSERT_NE(entry_, nullptr) << "Tcrw.so or its entry is missing"; }

    // Calls the entry with the items (a null entry after them). The bytes; "" for a
    // failure as the module promises it (length 0, address null), "bad" for any other.
    static std::string decode(std::vector<std::string> items, int count = 0) {
        std::vector<char*> vector;
        for (std::string& item : items) vector.push_back(item.data());
        vector.push_back(nullptr);
        unsigned char* data = reinterpret_cast<unsigned char*>(&items);  // must be replaced
        const std::size_t length =
            entry_(count != 0 ? count : static_cast<int>(items.size()), vector.data(), &data);
        if (length == 0 || data == nullptr) return data == nullptr && length == 0 ? "" : "bad";
        return std::string(reinterpret_cast<const char*>(data), length);
    }

    std::string dng(const RawSpec& spec = {}) {
        EXPECT_TRUE(write_dng(dir_ / "x.dng", spec));
        return dir_ / "x.dng";
    }

    TempDir dir_;
    static inline void* handle_ = nullptr;
    static inline tcrw_decode_fn entry_ = nullptr;
};

struct Size {
    bool half;
    int width, height;
};

class Development : public Decoder, public ::testing::WithParamInterface<std::tuple<Size, int>> {};

// The left half carries a strong red, green or blue, the right half a mid grey: the
// picture has the size asked for, the colour stays in its channel and the grey stays grey.
TEST_P(Development, GivesTheAnymapOfTheRequestedSizeWithItsColours) {
    const auto [size, strong] = GetParam();
    RawColour left{4000, 4000, 4000};
    (strong == 0 ? left.red : strong == 1 ? left.green : left.blue) = 40000;
    const std::string path = dng({.left = left, .right = {4000, 4000, 4000}});
    const std::string d = size.half ? decode({"Tarvik", "-h", path}) : decode({"Tarvik", path});
    const std::string head =
        "P6\n" + std::to_string(size.width) + " " + std::to_string(size.height) + "\n255\n";
    ASSERT_EQ(d.substr(0, head.size()), head);
    ASSERT_EQ(d.size(), head.size() + std::size_t{3} * size.width * size.height);
    // Mean of each channel over a band in the middle of each half.
    auto band = [&](int from) {
        std::vector<double> mean(3);
        for (int y = 0; y < size.height; ++y) {
            for (int x = from; x < from + size.width / 4; ++x) {
                for (int c = 0; c < 3; ++c) {
                    mean[c] +=
                        static_cast<unsigned char>(d[head.size() + 3 * (y * size.width + x) + c]);
                }
            }
        }
        for (double& m : mean) m /= size.height * size.width / 4.0;
        return mean;
    };
    const std::vector<double> colour = band(size.width / 8);
    for (int c = 0; c < 3; ++c) {
        if (c != strong) {
            EXPECT_GT(colour[strong], colour[c] + 80) << "channel " << c;
        }
    }
    const std::vector<double> grey = band(5 * size.width / 8);
    EXPECT_NEAR(grey[0], grey[1], 8);
    EXPECT_NEAR(grey[2], grey[1], 8);
    EXPECT_GT(grey[1], 20);   // neither black
    EXPECT_LT(grey[1], 235);  // nor white
}

INSTANTIATE_TEST_SUITE_P(Module, Development,
                         ::testing::Combine(::testing::Values(Size{true, 32, 24},
                                                              Size{false, 64, 48}),
                                            ::testing::Values(0, 1, 2)));

enum class File { Good, PlainTiff, Text, Missing, Truncated };

struct Refused {
    const char* name;
    File file;
    std::vector<std::string> items;  // "{}" stands for the file
    int count = 0;                   // 0: the number of items
};

class Refusal : public Decoder, public ::testing::WithParamInterface<Refused> {};

TEST_P(Refusal, GivesNoLengthAndANullAddress) {
    const Refused& r = GetParam();
    std::string path = dir_ / "x.dng";
    if (r.file == File::Good || r.file == File::Truncated) path = dng();
    if (r.file == File::PlainTiff) {
        ASSERT_TRUE(write_dng(path, {.dng = false}));
    }
    if (r.file == File::Text) write_file(path, "no camera data in here\n");
    if (r.file == File::Truncated) write_file(path, read_file(path).substr(0, 3000));
    std::vector<std::string> items = r.items;
    for (std::string& item : items) item = item == "{}" ? path : item;
    EXPECT_EQ(decode(items, r.count), "");
}

INSTANTIATE_TEST_SUITE_P(
    Module, Refusal,
    ::testing::Values(Refused{"plain_tiff", File::PlainTiff, {"Tarvik", "-h", "{}"}},
                      Refused{"text", File::Text, {"Tarvik", "{}"}},
                      Refused{"missing", File::Missing, {"Tarvik", "-h", "{}"}},
                      Refused{"truncated", File::Truncated, {"Tarvik", "-h", "{}"}},
                      Refused{"no_path", File::Good, {"Tarvik"}},
                      Refused{"negative_count", File::Good, {"Tarvik", "-h", "{}"}, -3},
                      Refused{"unknown_option", File::Good, {"Tarvik", "-x", "{}"}},
                      Refused{"too_many_items", File::Good, {"Tarvik", "-h", "{}", "{}"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Bytes held on the heap now (not what the sanitizer keeps in quarantine).
std::size_t live_heap_bytes() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

// A long batch, failures among the files: every decode gives the same picture and the
// heap does not grow with the number of files.
TEST_F(Decoder, ManyFilesKeepTheHeapFlat) {
    const std::string path = dng({.left = {40000, 4000, 4000}});
    const std::string first = decode({"Tarvik", path});
    ASSERT_FALSE(first.empty());
    for (int i = 0; i < 5; ++i) (void)decode({"Tarvik", "-h", path});  // settle the libraries
    const std::size_t before = live_heap_bytes();
    for (int i = 0; i < 200; ++i) {
        if (i % 10 == 9) {
            ASSERT_EQ(decode({"Tarvik", "-h", dir_ / "missing.dng"}), "");
        } else {
            ASSERT_EQ(decode({"Tarvik", path}), first) << "call " << i;
        }
    }
    // One picture kept per call would be 1.7 MB, one LibRaw object 140 MB.
    EXPECT_LT(live_heap_bytes(), before + 256 * 1024);
}

}  // namespace
}  // namespace morvane::test
