// The process-wide random generator behind device identifiers.  One lock
// serialises every draw, so identifiers may be made from any thread.
#include "text/random.h"

#include <deque>
#include <mutex>
#include <string>
#include <unordered_set>

#include "text/random_os.h"

namespace text {

namespace {

std::mutex& GeneratorLock() {
    static std::mutex lock;
    return lock;
}

// Values already handed out by FillFreshRandomBytes, oldest first.  With 80
// random bits a repeat is already astronomically unlikely; remembering the
// recent ones makes "never twice in one process" hold outright for any
// realistic number of identifiers while keeping memory bounded.
struct IssuedValues {
    static constexpr size_t kRemembered = 1 << 16;
    std::unordered_set<std::string> seen;
    std::deque<std::string> order;

    bool Add(const std::string& value) {
        if (!seen.insert(value).second) return false;
        order.push_back(value);
        if (order.size() > kRemembered) {
            seen.erase(order.front());
            order.pop_front();
        }
        return true;
    }
};

}  // namespace

bool FillRandomBytes(uint8_t* out, size_t count) {
    if (count == 0) return true;
    if (out == nullptr) return false;
    std::lock_guard<std::mutex> guard(GeneratorLock());
    return os::RandomBytes(out, count);
}

bool FillFreshRandomBytes(uint8_t* out, size_t count) {
    if (count == 0) return true;
    if (out == nullptr) return false;
    static IssuedValues issued;
    constexpr int kMaxDraws = 16;
    std::lock_guard<std::mutex> guard(GeneratorLock());
    for (int draw = 0; draw < kMaxDraws; ++draw) {
        if (!os::RandomBytes(out, count)) return false;
        if (issued.Add(std::string(reinterpret_cast<const char*>(out), count))) return true;
    }
    return false;  // a generator that keeps repeating itself is broken
}

}  // namespace text
