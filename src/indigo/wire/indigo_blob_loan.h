#pragma once
// BLOB bytes that a device lends to the clients of one update. The bus hands a client a
// BLOB's bytes for the length of its callback only; a client that keeps them longer (a
// network peer, which sends them later from its writer thread) copies them, unless the
// poster lends them: the client then takes a reference, and the poster leaves those bytes
// alone until every reference is gone. A frame then costs no copy per update.

#include "indigo/wire/indigo_http.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

namespace zeta::indigo::wire {

// Bytes their owner writes only while none of them is on loan.
class LendableBytes {
public:
    BlobBytes bytes;

    bool onLoan() const { return loans_.load(std::memory_order_acquire) > 0; }

    // A reference that keeps the bytes alive, and unchanged by their owner, while it lives.
    static SharedBytes lend(const std::shared_ptr<LendableBytes>& lent);

private:
    std::atomic<int> loans_{0};
};

// While it lives, the clients called on this thread may borrow the given bytes.
class LoanScope {
public:
    explicit LoanScope(std::vector<std::shared_ptr<LendableBytes>> lent);
    ~LoanScope();
    LoanScope(const LoanScope&) = delete;
    LoanScope& operator=(const LoanScope&) = delete;

private:
    friend SharedBytes borrowBytes(const void* data, std::size_t size);
    std::vector<std::shared_ptr<LendableBytes>> lent_;
    LoanScope* outer_;
};

// A reference to exactly these bytes when the update being handed out on this thread lends
// them; nullptr otherwise (the caller copies them).
SharedBytes borrowBytes(const void* data, std::size_t size);

} // namespace zeta::indigo::wire
