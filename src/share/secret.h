// A password in memory: on pages of its own that are left out of core dumps, wiped when it goes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace share {

class Secret {
public:
    Secret() = default;
    /// Takes \p text and wipes the string it came in.
    explicit Secret(std::string&& text);
    ~Secret();
    Secret(Secret&& other) noexcept;
    Secret& operator=(Secret&& other) noexcept;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    std::string_view view() const { return {data_, size_}; }
    bool empty() const { return size_ == 0; }
    /// Wipes it now.
    void clear();

private:
    char* data_ = nullptr;
    std::size_t size_ = 0, capacity_ = 0;
};

/// Overwrites \p text where it lies and empties it.
void wipe(std::string& text);

} // namespace share
