#include "share/signin.h"

#include <set>

namespace share::signin {

namespace {
Asker& theAsker() {
    static Asker a;
    return a;
}
std::set<std::string>& cancelled() {
    static std::set<std::string> shares;
    return shares;
}
} // namespace

void setAsker(Asker a) {
    theAsker() = std::move(a);
}

const Asker& asker() {
    return theAsker();
}

void forgetCancelled() {
    cancelled().clear();
}

bool wasCancelled(const std::string& share) {
    return cancelled().contains(share);
}

void markCancelled(const std::string& share) {
    cancelled().insert(share);
}

} // namespace share::signin
