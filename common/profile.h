#pragma once
// INI files read and written the way the Windows private-profile functions do it:
// case-insensitive sections and keys, blanks around keys and values ignored, one pair of
// surrounding quotes stripped, ';' comment lines, the first of duplicate sections or keys
// wins, a leading UTF-8 byte-order mark skipped, and writing one key rewrites only that
// line (CR LF line ends).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace morvane {

inline constexpr std::size_t kMebibyte = 1024 * 1024;

// Which files a profile is read from: a regular file of at most `limit` bytes, reached
// through a symbolic link only when `follow_links` says so.
struct ProfileFile {
    std::size_t limit = 16 * kMebibyte;
    bool follow_links = true;
};

enum class ReadResult { Read, Missing, Refused };

// The file's whole text as `file` admits it, never blocking on a FIFO nor reading past
// the limit; `refusal` says why a file that is there was not read.
[[nodiscard]] ReadResult read_profile_file(const std::string& path, const ProfileFile& file,
                                           std::string& out, std::string& refusal);

class Profile {
  public:
    // Reads the file once. A missing file, or one that `file` does not admit, gives an
    // empty profile; for the latter refusal() says why.
    [[nodiscard]] static Profile load(const std::string& path, const ProfileFile& file = {});
    [[nodiscard]] static Profile parse(std::string_view text);

    [[nodiscard]] bool opened() const { return opened_; }
    // Why a file that is there was not read, worded to follow its name ("is not a
    // regular file", "is larger than 16 MiB", "cannot be read: ..."); empty otherwise.
    [[nodiscard]] const std::string& refusal() const { return refusal_; }

    // Sections that appear more than once, lowered, each named once in the order their
    // first repeat comes: only their first copy is read.
    [[nodiscard]] const std::vector<std::string>& repeated_sections() const {
        return repeated_sections_;
    }
    // True when the text holds a NUL byte, which no text file does: it is binary data.
    [[nodiscard]] bool holds_nul() const { return holds_nul_; }

    // The value, or `def` when the key is missing or empty; cut to size - 1 characters
    // like a fixed buffer of `size` characters.
    [[nodiscard]] std::string get_string(std::string_view section, std::string_view key,
                                         std::string_view def, std::size_t size) const;

    // Leading decimal digits (an optional '-' first); `def` when missing or empty,
    // 0 when the value does not start with a digit.
    [[nodiscard]] int get_int(std::string_view section, std::string_view key, int def) const;

    // The value as it stands, however long; empty when the key is missing.
    [[nodiscard]] std::string_view value(std::string_view section, std::string_view key) const;

    // True when the section holds the key with a non-empty value.
    [[nodiscard]] bool has_value(std::string_view section, std::string_view key) const;

  private:
    struct Entry {
        std::string section;
        std::string key;
        std::string value;
    };
    const Entry* find(std::string_view section, std::string_view key) const;
    std::vector<Entry> entries_;
    // Where each entry is, by its lowered section and key, so that a list of many
    // thousand keys is read in linear time.
    std::unordered_map<std::string, std::size_t> index_;
    std::vector<std::string> repeated_sections_;
    std::string refusal_;
    bool opened_ = false;
    bool holds_nul_ = false;
};

// Reads the leading decimal number of a text the way the profile layer does.
[[nodiscard]] int profile_text_to_int(std::string_view text);

// Writes one key: rewrites only its line when it exists, adds it at the end of its
// section, or adds the section at the end of the file. False when the file cannot be
// read (as load() admits it) or written.
[[nodiscard]] bool write_profile_string(const std::string& path, std::string_view section,
                                        std::string_view key, std::string_view value);

// Several keys written as write_profile_string would write them one after the other,
// with the file replaced once at the end.
class ProfileEditor {
  public:
    // Reads the file as write_profile_string does (a missing one is empty); nothing when
    // it cannot be read, with `reason` worded to follow its name.
    [[nodiscard]] static std::optional<ProfileEditor> open(const std::string& path,
                                                           std::string& reason);

    void set(std::string_view section, std::string_view key, std::string_view value);
    [[nodiscard]] const std::string& text() const { return text_; }

    // Replaces the file with the edited text; false with `reason` when it cannot.
    [[nodiscard]] bool save(std::string& reason) const;

  private:
    ProfileEditor() = default;
    std::string path_;
    std::string text_;
};

}  // namespace morvane
