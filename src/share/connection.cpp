#include "share/connection.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <future>
#include <list>
#include <map>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/crypto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace share {

namespace {

using Clock = std::chrono::steady_clock;

std::error_code errorOf(int code) {
    return {code, std::generic_category()};
}

std::atomic<int> connectionsOpened{0};

// The largest frame we take: a listing answer of 1 MiB with room to spare. A length beyond it
// is no SMB2 frame and ends the connection rather than an allocation.
constexpr std::size_t MaxFrame = 16 << 20;
// Credits we try to keep in hand, so that a run's requests need not wait for grants.
constexpr std::uint32_t CreditTarget = 2048;

constexpr std::uint8_t TransformId[4] = {0xfd, 'S', 'M', 'B'};
constexpr std::size_t TransformSize = 52;

struct Pending {
    std::vector<std::uint64_t> ids;
    std::vector<Reply> replies;
    std::vector<bool> have;
    std::size_t got = 0;
    std::uint32_t charge = 0;
    Connection::Done done;
    Clock::time_point deadline;
    std::chrono::milliseconds timeout{0};
    bool finished = false;
};

struct Queued {
    std::vector<Request> chain;
    bool related = false;
    Connection::Done done;
    std::chrono::milliseconds timeout{0};
    wire::Bytes* sent = nullptr;
    Clock::time_point deadline = Clock::now() + timeout; // also while it waits for credits
};

} // namespace

crypto::Mac signatureOf(const Protection& p, wire::Span message, bool fromServer) {
    wire::Bytes copy(message.begin(), message.end());
    if (copy.size() >= wire::HeaderSize)
        std::fill(copy.begin() + 48, copy.begin() + 64, 0);
    switch (p.signing) {
    case Protection::Signing::HmacSha256:
        return crypto::hmacSha256(p.signingKey, copy);
    case Protection::Signing::AesCmac:
        return crypto::aesCmac(p.signingKey, copy);
    case Protection::Signing::AesGmac: {
        std::array<std::uint8_t, 12> nonce{};
        std::copy(copy.begin() + 24, copy.begin() + 32, nonce.begin()); // the message id
        nonce[8] = fromServer ? 1 : 0; // we send no CANCEL, the other flag

        return crypto::aesGmac(p.signingKey, nonce, copy);
    }
    case Protection::Signing::None:
        break;
    }
    return {};
}

struct Connection::Impl {
    int fd = -1;
    int wake = -1;
    std::thread thread;

    std::mutex mutex; // guards the queue, the protection and the dialect
    std::deque<Queued> queue;
    Protection protection;
    std::uint16_t dialect = 0;
    std::atomic<bool> alive{true};
    std::atomic<bool> stopping{false};

    // The connection's thread alone:
    std::uint64_t nextId = 0;
    std::uint32_t credits = 1;
    std::uint32_t inFlight = 0;
    std::uint64_t nonceCounter = 0;
    std::array<std::uint8_t, 4> noncePrefix{};
    std::map<std::uint64_t, std::pair<std::shared_ptr<Pending>, std::size_t>> byId;
    std::list<std::shared_ptr<Pending>> pending;
    std::deque<Queued> waiting; // for credits
    wire::Bytes out;
    std::size_t outAt = 0;
    wire::Bytes in;

    void notify() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wake, &one, sizeof one);
    }

    void finish(const std::shared_ptr<Pending>& p, std::error_code ec) {
        if (p->finished)
            return;
        p->finished = true;
        for (const std::uint64_t id : p->ids)
            byId.erase(id);
        inFlight -= std::min(inFlight, p->charge);
        std::vector<Reply> replies;
        for (std::size_t k = 0; k < p->replies.size(); ++k)
            if (p->have[k])
                replies.push_back(std::move(p->replies[k]));
        if (!ec)
            for (const Reply& r : replies)
                if (r.header.status == wire::status::Pending)
                    ec = errorOf(EPROTO);
        auto done = std::move(p->done);
        if (done)
            done(ec, replies);
    }

    void failAll(std::error_code ec) {
        alive = false;
        auto all = std::move(pending);
        pending.clear();
        for (auto& p : all)
            finish(p, ec);
        std::deque<Queued> queued;
        {
            std::lock_guard lock(mutex);
            queued.swap(queue);
        }
        for (auto* list : {&waiting, &queued})
            for (Queued& q : *list) {
                std::vector<Reply> none;
                if (q.done)
                    q.done(ec, none);
            }
        waiting.clear();
    }

    // Fails the first waiting chain, unsent.
    void refuse(Queued& q, int code) {
        Queued gone = std::move(q);
        waiting.pop_front();
        std::vector<Reply> none;
        if (gone.done)
            gone.done(errorOf(code), none);
    }

    // Frames a chain whose credits are in hand; false where they are not (yet).
    bool send(Queued& q) {
        std::uint16_t d;
        Protection prot;
        {
            std::lock_guard lock(mutex);
            d = dialect;
            prot = protection;
        }
        const bool multiCredit = d >= wire::dialect::Smb210;
        std::uint32_t charge = 0;
        for (const Request& r : q.chain)
            charge += multiCredit ? std::max<std::uint16_t>(r.creditCharge, 1) : 1;
        if (charge > credits)
            return false;
        auto p = std::make_shared<Pending>();
        p->replies.resize(q.chain.size());
        p->have.assign(q.chain.size(), false);
        p->done = std::move(q.done);
        p->timeout = q.timeout;
        p->deadline = Clock::now() + q.timeout;
        p->charge = charge;
        const std::uint32_t wanted =
            credits + inFlight < CreditTarget ? CreditTarget - credits - inFlight : 0;
        const bool encrypt = prot.encrypt && q.chain.front().command != wire::Command::Negotiate &&
                             q.chain.front().command != wire::Command::SessionSetup;
        const bool sign = prot.sign && !encrypt;
        wire::Bytes frame;
        for (std::size_t k = 0; k < q.chain.size(); ++k) {
            const Request& r = q.chain[k];
            const std::uint16_t c = multiCredit ? std::max<std::uint16_t>(r.creditCharge, 1) : 1;
            wire::Header h;
            h.creditCharge = multiCredit ? c : 0;
            h.command = r.command;
            h.credits = std::uint16_t(c + std::min<std::uint32_t>(wanted / q.chain.size(), 256));
            h.flags =
                (k > 0 && q.related ? wire::flags::Related : 0) | (sign ? wire::flags::Signed : 0);
            h.messageId = nextId;
            h.treeId = r.treeId;
            h.sessionId = prot.sessionId;
            const bool last = k + 1 == q.chain.size();
            std::size_t size = wire::HeaderSize + r.body.size();
            if (!last)
                size = (size + 7) & ~std::size_t(7);
            h.nextCommand = last ? 0 : std::uint32_t(size);
            const std::size_t start = frame.size();
            wire::putHeader(frame, h);
            frame.insert(frame.end(), r.body.begin(), r.body.end());
            frame.resize(start + size, 0);
            if (sign) {
                const auto mac = signatureOf(prot, wire::Span(frame).subspan(start, size), false);
                std::copy(mac.begin(), mac.end(), frame.begin() + std::ptrdiff_t(start) + 48);
            }
            p->ids.push_back(nextId);
            byId[nextId] = {p, k};
            nextId += c;
        }
        credits -= charge;
        inFlight += charge;
        if (q.sent)
            *q.sent = frame;
        if (encrypt)
            frame = transform(prot, frame);
        const std::uint32_t length = std::uint32_t(frame.size());
        out.push_back(0);
        out.push_back(std::uint8_t(length >> 16));
        out.push_back(std::uint8_t(length >> 8));
        out.push_back(std::uint8_t(length));
        out.insert(out.end(), frame.begin(), frame.end());
        pending.push_back(std::move(p));
        return true;
    }

    wire::Bytes transform(const Protection& prot, const wire::Bytes& plain) {
        const std::size_t nonceLength = crypto::nonceSize(prot.cipher);
        wire::Bytes t(TransformId, TransformId + 4);
        t.resize(20, 0); // the signature, filled below
        wire::Bytes nonce(16, 0);
        ++nonceCounter;
        for (int k = 0; k < 8; ++k)
            nonce[std::size_t(k)] = std::uint8_t(nonceCounter >> (8 * k));
        std::copy(noncePrefix.begin(), noncePrefix.begin() + std::ptrdiff_t(nonceLength - 8),
                  nonce.begin() + 8);
        t.insert(t.end(), nonce.begin(), nonce.end());
        wire::put32(t, std::uint32_t(plain.size()));
        wire::put16(t, 0);
        wire::put16(t, 1); // encrypted
        wire::put64(t, prot.sessionId);
        crypto::Mac tag{};
        const wire::Bytes sealed =
            crypto::encrypt(prot.cipher, prot.encryptionKey, wire::Span(nonce).first(nonceLength),
                            wire::Span(t).subspan(20), plain, tag);
        std::copy(tag.begin(), tag.end(), t.begin() + 4);
        t.insert(t.end(), sealed.begin(), sealed.end());
        return t;
    }

    std::optional<wire::Bytes> untransform(wire::Span frame) {
        Protection prot;
        {
            std::lock_guard lock(mutex);
            prot = protection;
        }
        if (frame.size() < TransformSize || prot.decryptionKey.empty())
            return std::nullopt;
        wire::Reader r(frame);
        r.skip(4);
        crypto::Mac tag{};
        const wire::Span sig = r.bytes(16);
        std::copy(sig.begin(), sig.end(), tag.begin());
        const wire::Span nonce = r.bytes(16);
        const std::uint32_t size = r.u32();
        r.skip(4);
        const std::uint64_t session = r.u64();
        if (r.failed() || session != prot.sessionId || size != frame.size() - TransformSize)
            return std::nullopt;
        return crypto::decrypt(prot.cipher, prot.decryptionKey,
                               nonce.first(crypto::nonceSize(prot.cipher)), frame.subspan(20, 32),
                               frame.subspan(TransformSize), tag);
    }

    // One frame from the server: its messages matched to what waits for them.
    bool receive(wire::Span frame) {
        std::optional<wire::Bytes> plain;
        const bool encrypted =
            frame.size() >= 4 && std::equal(frame.begin(), frame.begin() + 4, TransformId);
        if (encrypted) {
            if (!(plain = untransform(frame)))
                return false;
            frame = *plain;
        }
        Protection prot;
        {
            std::lock_guard lock(mutex);
            prot = protection;
        }
        const auto messages = wire::splitFrame(frame);
        if (!messages)
            return false;
        for (const auto& [header, message] : *messages) {
            const wire::Header* h = &header;
            if (!(h->flags & wire::flags::Response))
                return false;
            credits += h->credits;
            const auto it = byId.find(h->messageId);
            if (it == byId.end())
                continue; // the answer to a request that timed out
            const auto [p, index] = it->second;
            const bool interim =
                h->status == wire::status::Pending && (h->flags & wire::flags::Async);
            if (interim) { // the server works on it: wait on
                p->deadline = Clock::now() + p->timeout;
                continue;
            }
            // Every answer of a signed session: a changed session id must not pass unchecked.
            if (prot.sign && !encrypted) {
                const auto mac = signatureOf(prot, message, true);
                if (!(h->flags & wire::flags::Signed) ||
                    CRYPTO_memcmp(mac.data(), h->signature.data(), mac.size()) != 0) {
                    finish(p, errorOf(EBADMSG)); // tampered with, or not from the server
                    pending.remove(p);
                    continue;
                }
            }
            p->replies[index] = Reply{*h, wire::Bytes(message.begin(), message.end())};
            p->have[index] = true;
            if (++p->got == p->replies.size()) {
                finish(p, {});
                pending.remove(p);
            }
        }
        return true;
    }

    void run() {
        while (!stopping) {
            {
                std::lock_guard lock(mutex);
                while (!queue.empty()) {
                    waiting.push_back(std::move(queue.front()));
                    queue.pop_front();
                }
            }
            while (!waiting.empty() && send(waiting.front()))
                waiting.pop_front();
            // With nothing in flight no answer will grant more credits: a chain that needs more
            // than the server gave fails rather than waits for ever.
            if (!waiting.empty() && pending.empty())
                refuse(waiting.front(), ENOBUFS);
            // The nearest deadline bounds the wait.
            auto now = Clock::now();
            while (!waiting.empty() && waiting.front().deadline <= now)
                refuse(waiting.front(), ETIMEDOUT);
            for (auto it = pending.begin(); it != pending.end();) {
                if ((*it)->deadline <= now) {
                    const auto p = *it;
                    it = pending.erase(it);
                    finish(p, errorOf(ETIMEDOUT));
                } else {
                    ++it;
                }
            }
            int wait = -1;
            if (!waiting.empty())
                wait = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                               waiting.front().deadline - now)
                               .count() +
                           1);
            for (const auto& p : pending) {
                const auto ms =
                    std::chrono::duration_cast<std::chrono::milliseconds>(p->deadline - now)
                        .count() +
                    1;
                wait = wait < 0 ? int(ms) : std::min(wait, int(ms));
            }
            pollfd fds[2] = {{fd, short(POLLIN | (outAt < out.size() ? POLLOUT : 0)), 0},
                             {wake, POLLIN, 0}};
            if (::poll(fds, 2, wait) < 0 && errno != EINTR) {
                failAll(errorOf(errno));
                return;
            }
            if (fds[1].revents & POLLIN) {
                std::uint64_t n = 0;
                [[maybe_unused]] const auto r = ::read(wake, &n, sizeof n);
            }
            if (fds[0].revents & POLLOUT) {
                const ssize_t n = ::send(fd, out.data() + outAt, out.size() - outAt, MSG_NOSIGNAL);
                if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    failAll(errorOf(ECONNRESET));
                    return;
                }
                if (n > 0)
                    outAt += std::size_t(n);
                if (outAt == out.size()) {
                    out.clear();
                    outAt = 0;
                }
            }
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
                std::uint8_t buffer[65536];
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                    failAll(errorOf(ECONNRESET));
                    return;
                }
                if (n > 0)
                    in.insert(in.end(), buffer, buffer + n);
                std::size_t at = 0;
                while (in.size() - at >= 4) {
                    const std::size_t length =
                        (std::size_t(in[at + 1]) << 16) | (in[at + 2] << 8) | in[at + 3];
                    if (in[at] != 0 || length > MaxFrame) {
                        failAll(errorOf(EPROTO));
                        return;
                    }
                    if (in.size() - at - 4 < length)
                        break;
                    if (!receive(wire::Span(in).subspan(at + 4, length))) {
                        failAll(errorOf(EPROTO));
                        return;
                    }
                    at += 4 + length;
                }
                in.erase(in.begin(), in.begin() + std::ptrdiff_t(at));
            }
        }
    }
};

Connection::Connection(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<Connection> Connection::open(const std::string& host, int port,
                                             std::chrono::milliseconds timeout,
                                             std::error_code& ec) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        ec = errorOf(rc == EAI_SYSTEM ? errno : EHOSTUNREACH);
        return nullptr;
    }
    int fd = -1;
    ec = errorOf(EHOSTUNREACH);
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
            ec = errorOf(errno);
            ::close(fd);
            fd = -1;
            continue;
        }
        pollfd p{fd, POLLOUT, 0};
        int error = 0;
        socklen_t size = sizeof error;
        const int ready = ::poll(&p, 1, int(timeout.count()));
        if (ready <= 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error) {
            ec = errorOf(ready == 0 ? ETIMEDOUT : error ? error : errno);
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0)
        return nullptr;
    ec.clear();
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto impl = std::make_unique<Impl>();
    impl->fd = fd;
    impl->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const auto prefix = crypto::random(4);
    std::copy(prefix.begin(), prefix.end(), impl->noncePrefix.begin());
    Impl* raw = impl.get();
    impl->thread = std::thread([raw] { raw->run(); });
    ++connectionsOpened;
    return std::unique_ptr<Connection>(new Connection(std::move(impl)));
}

Connection::~Connection() {
    impl_->stopping = true;
    impl_->notify();
    if (impl_->thread.joinable())
        impl_->thread.join();
    impl_->failAll(errorOf(ECANCELED));
    ::close(impl_->fd);
    ::close(impl_->wake);
}

void Connection::submit(std::vector<Request> chain, bool related, Done done,
                        std::chrono::milliseconds timeout) {
    if (!impl_->alive || chain.empty()) {
        std::vector<Reply> none;
        done(errorOf(chain.empty() ? EINVAL : ECONNRESET), none);
        return;
    }
    {
        std::lock_guard lock(impl_->mutex);
        impl_->queue.push_back({std::move(chain), related, std::move(done), timeout});
    }
    impl_->notify();
}

std::error_code Connection::call(std::vector<Request> chain, bool related,
                                 std::vector<Reply>& replies, std::chrono::milliseconds timeout,
                                 wire::Bytes* sent) {
    std::promise<std::pair<std::error_code, std::vector<Reply>>> promise;
    auto result = promise.get_future();
    Done done = [&promise](std::error_code ec, std::vector<Reply>& r) {
        promise.set_value({ec, std::move(r)});
    };
    if (!impl_->alive || chain.empty()) {
        std::vector<Reply> none;
        done(errorOf(chain.empty() ? EINVAL : ECONNRESET), none);
    } else {
        std::lock_guard lock(impl_->mutex);
        // The request as it goes out: the pre-authentication hash takes its bytes.
        impl_->queue.push_back({std::move(chain), related, std::move(done), timeout, sent});
    }
    impl_->notify();
    auto [ec, r] = result.get();
    replies = std::move(r);
    return ec;
}

void Connection::protect(const Protection& p) {
    std::lock_guard lock(impl_->mutex);
    impl_->protection = p;
}

void Connection::setDialect(std::uint16_t dialect) {
    std::lock_guard lock(impl_->mutex);
    impl_->dialect = dialect;
}

std::uint16_t Connection::dialect() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->dialect;
}

bool Connection::alive() const {
    return impl_->alive;
}

void Connection::drop() {
    impl_->alive = false;
    // The connection's thread sees the socket end and fails what waits.
    ::shutdown(impl_->fd, SHUT_RDWR);
}

int Connection::opened() {
    return connectionsOpened;
}

} // namespace share
