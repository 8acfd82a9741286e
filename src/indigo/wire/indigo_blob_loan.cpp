#include "indigo/wire/indigo_blob_loan.h"

namespace zeta::indigo::wire {

namespace {

thread_local LoanScope* innermost = nullptr;

} // namespace

SharedBytes LendableBytes::lend(const std::shared_ptr<LendableBytes>& lent) {
    lent->loans_.fetch_add(1, std::memory_order_relaxed);
    // Released, so that the owner's next write cannot overtake a reader's last read.
    return SharedBytes(&lent->bytes,
                       [keep = lent](const BlobBytes*) { keep->loans_.fetch_sub(1, std::memory_order_release); });
}

LoanScope::LoanScope(std::vector<std::shared_ptr<LendableBytes>> lent) : lent_(std::move(lent)), outer_(innermost) {
    innermost = this;
}

LoanScope::~LoanScope() {
    innermost = outer_;
}

SharedBytes borrowBytes(const void* data, std::size_t size) {
    if (data == nullptr || size == 0) return nullptr;
    for (const LoanScope* scope = innermost; scope != nullptr; scope = scope->outer_) {
        for (const auto& lent : scope->lent_) {
            if (lent->bytes.data() == data && lent->bytes.size() == size) return LendableBytes::lend(lent);
        }
    }
    return nullptr;
}

} // namespace zeta::indigo::wire
