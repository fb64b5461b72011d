#include "arg_vector.h"

namespace morvane {

ArgVector::ArgVector(const ArgVector& other) : ArgVector() {
    for (const auto& item : other.items_) push_back(*item);
}

ArgVector& ArgVector::operator=(const ArgVector& other) {
    if (this == &other) return *this;
    ArgVector copy(other);
    items_ = std::move(copy.items_);
    pointers_ = std::move(copy.pointers_);
    return *this;
}

void ArgVector::push_back(std::string_view item) {
    items_.push_back(std::make_unique<std::string>(item));
    // The null entry moves one place on and the new item takes its slot.
    pointers_.back() = items_.back()->data();
    pointers_.push_back(nullptr);
}

}  // namespace morvane
