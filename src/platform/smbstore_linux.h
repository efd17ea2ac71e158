// Files and folders on an SMB share, through Samba's own client library: the attribute word and
// the last-write time as the server keeps them, and the server's folder listings. One client
// context for the process (the library is not safe across threads); calls are serialised.
#pragma once

#include "platform/fileservices.h"
#include "platform/shareaddress.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace platform::smbstore {

/// In a process forked to work beside the program: a connection of its own from now on (the
/// parent's stay the parent's), with the sign-ins the parent had.
void ownConnection();

/// A name escaped as the library's URLs hold it.
std::string escapedName(const std::string& name);

/// The library's URL of an address: "smb://[domain;][user@]server[:port]/share/path", escaped.
std::string urlOf(const share::Address& address);

/// The whole word to send for an entry that has \p before, with R, H, S and A as in \p wanted:
/// every other bit as the server gave it, the folder bit left out.
std::uint32_t wordToSend(std::uint32_t before, std::uint32_t wanted);

/// The folder's URL and the entry's escaped name of an entry's URL.
std::pair<std::string, std::string> splitUrl(const std::string& url);

/// Sends \p word (the entry's whole word, as the server is to keep it) and, where given, the
/// last-write time \p when in one request where the library allows it. Nothing is read back:
/// the caller compares a later listing.
std::error_code writeState(const std::string& url, std::uint32_t word,
                           std::optional<std::int64_t> when);

/// The sign-ins answered in this process, as text for a worker (adoptSignIns() there), and a
/// number that changes with them.
std::string signInsText();
unsigned signInsGeneration();
void adoptSignIns(const std::string& text);

/// Whether this process has reached the share of \p url: its worker processes can, too.
bool reachedHere(const std::string& url);

/// The server's attribute word and last-write time of \p url.
std::error_code query(const std::string& url, EntryState& out);

/// Sets R, H, S and A of \p url to those of \p word, keeping every other bit of \p before (the
/// word as read); a word with no bit left goes as FILE_ATTRIBUTE_NORMAL (0 means "no change" on
/// the wire). The server's word is read back (into \p readBack where given): a bit it did not
/// keep fails (NotKept).
std::error_code writeWord(const std::string& url, std::uint32_t word, std::uint32_t before,
                          EntryState* readBack = nullptr);

/// Sets the last-write time of \p url to \p when (seconds since 1970 UTC), sent with the entry's
/// whole word (\p known: as last read), and reads both back into \p readBack.
std::error_code setWriteTime(const std::string& url, std::int64_t when, const EntryState& known,
                             EntryState& readBack);

/// Every entry's word and last-write time from one listing of \p folderUrl, by escapedName().
std::error_code listStates(const std::string& folderUrl, std::map<std::string, EntryState>& out);

/// What listStatesMany() says of one folder.
struct Listed {
    std::error_code error;
    std::map<std::string, EntryState> entries; ///< by escapedName()
};

/// listStates() of many folders, side by side in worker processes with a connection each: the
/// round trips of one folder wait for those of the others no longer. \p out has one Listed per
/// folder, in their order.
void listStatesMany(const std::vector<std::string>& folders, std::vector<Listed>& out);

/// Lists \p folderUrls side by side now (listStatesMany), so that a Listing of each later
/// takes what was listed instead of asking the server; each is taken once.
void prefetch(const std::vector<std::string>& folderUrls);
void forgetPrefetched();

/// The entries of a folder on a share, with the kind the server's listing gives.
class Listing {
public:
    explicit Listing(const std::string& url);
    ~Listing();
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;
    std::error_code error() const { return error_; }
    bool next(FolderEntry& entry);
    /// next(), also giving the entry's whole attribute word (16 bits) as the listing has it.
    bool lastAttributes(FolderEntry& entry, std::uint32_t& word);
    /// The last-write time of the entry next() or lastAttributes() gave last.
    std::int64_t lastWrite() const { return lastWrite_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::error_code error_;
    std::int64_t lastWrite_ = 0;
};

} // namespace platform::smbstore
