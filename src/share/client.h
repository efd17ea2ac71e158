// Files and folders on SMB shares, through our own SMB2/3 client: one connection per server and
// user, signed in once (as a guest, with a saved password or one the window asks for), and many
// requests in flight on it. A row is one compound: CREATE, SET_INFO with only what is asked,
// QUERY_INFO to read it back, CLOSE; a folder is one or two QUERY_DIRECTORY answers.
#pragma once

#include "share/address.h"
#include "share/wire.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace share {

/// An entry as the server keeps it: its word and its times, exactly.
struct Entry {
    wire::BasicInfo info;
    std::uint64_t fileId = 0; ///< from a listing; 0 where not known
};

/// What a folder listing gave: every entry but "." and "..", and the folder's own file ID.
struct Listed {
    std::error_code error;
    std::vector<wire::DirectoryEntry> entries;
    std::uint64_t folderId = 0;
};

/// How long a request may wait for its answer before it counts as lost: 5 s unless set.
std::chrono::milliseconds requestTimeout();
void setRequestTimeout(std::chrono::milliseconds timeout);

/// The FILETIME (100 ns since 1601) of a moment in whole seconds since 1970, and back (rounded
/// down to the second).
std::uint64_t fileTimeOf(std::int64_t unixSeconds);
std::int64_t unixSecondsOf(std::uint64_t fileTime);

/// The word a request carries for an entry that has \p before and is to have R, H, S and A as
/// in \p wanted: every other bit as the server gave it, no folder bit, and
/// FILE_ATTRIBUTE_NORMAL where no bit is left (0 means "no change" on the wire).
std::uint32_t wordToSend(std::uint32_t before, std::uint32_t wanted);

/// The creation time a write of a new last-write time names, so that it stays as it is: a
/// Samba server shows a file that has none stored the earliest of its other times, which a
/// write time set into the past would move. 0 (the server leaves it) where the write sends a
/// word too: Samba stores the creation time it shows with the word, before the time changes.
std::uint64_t creationToKeep(const wire::BasicInfo& before, const wire::BasicInfo& set);

/// The server's name of \p path below its share ("\" between names, UTF-16LE); EINVAL for a
/// name with "\" or a control character, EILSEQ for one that is no UTF-8.
std::error_code nameOf(const std::string& path, wire::Bytes& name);

/// Reads the entry at \p a (one round trip once signed in).
std::error_code stat(const Address& a, Entry& out);

/// Sets what \p set names (a time or the word of 0: unchanged) and reads the entry back into
/// \p readBack, in one compound. An answer that was lost is settled by reading the entry
/// afresh: the write is reported done only when the server has what was sent.
std::error_code write(const Address& a, const wire::BasicInfo& set, Entry& readBack);

/// Lists the folder \p a.
std::error_code list(const Address& a, Listed& out);

/// Lists \p folders side by side on their connections; \p out gets one Listed each, in order.
void listMany(const std::vector<Address>& folders, std::vector<Listed>& out);

/// The result of an asynchronous write, on the connection's thread.
using WriteDone = std::function<void(std::error_code, const Entry& readBack)>;

/// write() without waiting: signs in first where needed (on the calling thread, which may ask
/// the user), then sends the compound and returns; \p done follows. An answer that was lost
/// comes as ETIMEDOUT or ECONNRESET: settle() says then what the entry has.
void writeAsync(const Address& a, const wire::BasicInfo& set, WriteDone done);

/// After an answer lost by \p lost (ETIMEDOUT or ECONNRESET): the entry read afresh on a new
/// connection (one whose answer did not come is not trusted with the next one).
std::error_code settle(const Address& a, std::error_code lost, Entry& now);

/// Forgets every connection and sign-in (the tests start each case afresh).
void reset();

} // namespace share
