#include "share/secret.h"

#include <cstring>
#include <utility>

#include <sys/mman.h>
#include <unistd.h>

namespace share {

void wipe(std::string& text) {
    // Through the whole capacity: a shorter text may have left an older one behind it.
    text.resize(text.capacity());
    ::explicit_bzero(text.data(), text.size());
    text.clear();
}

Secret::Secret(std::string&& text) {
    if (!text.empty()) {
        const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
        capacity_ = (text.size() + page - 1) / page * page;
        void* p =
            ::mmap(nullptr, capacity_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p != MAP_FAILED) {
            ::madvise(p, capacity_, MADV_DONTDUMP);
            ::mlock(p, capacity_); // kept out of swap where the limits allow it
            data_ = static_cast<char*>(p);
            size_ = text.size();
            std::memcpy(data_, text.data(), size_);
        } else {
            capacity_ = 0;
        }
    }
    wipe(text);
}

Secret::~Secret() {
    clear();
}

Secret::Secret(Secret&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

Secret& Secret::operator=(Secret&& other) noexcept {
    if (this != &other) {
        clear();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

void Secret::clear() {
    if (!data_)
        return;
    ::explicit_bzero(data_, capacity_);
    ::munlock(data_, capacity_);
    ::munmap(data_, capacity_);
    data_ = nullptr;
    size_ = capacity_ = 0;
}

} // namespace share
