// The fault seam shared by both AES backends.
#include <atomic>

#include "platform/Aes128.h"

namespace platform {

namespace {
std::atomic<int64_t> g_failAt{-1};
std::atomic<int64_t> g_operations{0};
}  // namespace

void Aes128::SetFaultForTests(int64_t failAt) {
    g_operations.store(0);
    g_failAt.store(failAt);
}

int64_t Aes128::OperationsForTests() { return g_operations.load(); }

bool Aes128::FaultInjected() {
    const int64_t operation = g_operations.fetch_add(1);
    const int64_t failAt = g_failAt.load();
    return operation == failAt;
}

}  // namespace platform
