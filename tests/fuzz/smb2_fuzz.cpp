// Whatever a server (or whoever sits between) sends: every reader of an answer stays within its
// bytes. The seeds are frames recorded from Samba.
#include "share/ntlm.h"
#include "share/wire.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace share::wire;
    const Span frame(data, size);
    if (const auto messages = splitFrame(frame)) {
        for (const auto& [header, message] : *messages) {
            parseNegotiate(message);
            parseSessionSetup(message);
            parseTreeConnect(message);
            parseCreate(message);
            parseCloseInfo(message);
            if (const auto buffer = parseOutputBuffer(message)) {
                parseBasicInfo(*buffer);
                parseDirectory(*buffer);
            }
            if (const auto setup = parseSessionSetup(message))
                if (const auto token = share::spnego::parse(setup->securityBuffer))
                    share::ntlm::parseChallenge(token->responseToken);
        }
    }
    share::spnego::parse(frame);
    share::ntlm::parseChallenge(frame);
    utf16(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
