#pragma once
// The argument vector: an ImageMagick command line as separately owned strings with a
// count and a null entry after the last item, usable as char** by ImageMagick calls.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

class ArgVector {
  public:
    ArgVector() { pointers_.push_back(nullptr); }
    explicit ArgVector(std::string_view program_word) : ArgVector() { push_back(program_word); }
    ArgVector(const ArgVector& other);
    ArgVector& operator=(const ArgVector& other);

    void push_back(std::string_view item);

    [[nodiscard]] int count() const { return static_cast<int>(items_.size()); }
    [[nodiscard]] const std::string& operator[](int i) const { return *items_[i]; }
    // Null-terminated, valid until the next push_back.
    [[nodiscard]] char** argv() { return pointers_.data(); }

  private:
    // Each item keeps its own buffer, so pointers stay valid as the vector grows.
    std::vector<std::unique_ptr<std::string>> items_;
    std::vector<char*> pointers_;
};

}  // namespace morvane
