#include "ordered_text.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace kim {

namespace {
constexpr size_t kBlock = 16384; // pieces a block: about 2 MB of result lines
// Formatters at most. Each holds the block it formats and two formatted ones waiting for
// the one writer, so the text in flight stays about 50 MB of result lines however many
// threads are asked for; more would only wait for the writer.
constexpr size_t kMaxFormatters = 8;
constexpr size_t kBlocksPerFormatter = 8;
} // namespace

bool formatInOrder(size_t count, unsigned threads,
                   const std::function<void(size_t, std::string&)>& format,
                   const std::function<bool(std::string_view)>& write) {
    const size_t blocks = (count + kBlock - 1) / kBlock;
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    // A thread pays for itself over several blocks: fewer lines are formatted here alone.
    const size_t workers =
        std::min({size_t{threads}, blocks / kBlocksPerFormatter, kMaxFormatters});
    if (workers <= 1) {
        std::string text;
        for (size_t b = 0; b < blocks; ++b) {
            text.clear();
            for (size_t i = b * kBlock; i < std::min(count, (b + 1) * kBlock); ++i)
                format(i, text);
            if (!write(text)) return false;
        }
        return true;
    }
    // Worker w formats the blocks w, w + workers, ... into two slots of its own, in
    // turn: block b goes to slot b % (2 * workers). The calling thread writes them.
    struct Slot {
        std::string text;
        size_t block = SIZE_MAX; // the block it holds, or SIZE_MAX when free
        bool ready = false;
    };
    std::vector<Slot> slots(2 * workers);
    std::mutex mutex;
    std::condition_variable changed;
    bool stop = false;
    std::exception_ptr error;
    auto fail = [&] {
        std::lock_guard lock(mutex);
        if (!error) error = std::current_exception();
        stop = true;
        changed.notify_all();
    };
    auto work = [&](size_t w) {
        try {
            // Formatted in a string of this thread's own: the slots lie side by side, and
            // a string's length written at every append would bounce between the cores.
            std::string text;
            for (size_t b = w; b < blocks; b += workers) {
                text.clear();
                for (size_t i = b * kBlock; i < std::min(count, (b + 1) * kBlock); ++i)
                    format(i, text);
                Slot& slot = slots[b % slots.size()];
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stop || slot.block == SIZE_MAX; });
                if (stop) return;
                slot.block = b;
                slot.text.swap(text);
                slot.ready = true;
                changed.notify_all();
            }
        } catch (...) {
            fail();
        }
    };
    bool complete = true;
    {
        std::vector<std::jthread> pool;
        for (size_t w = 0; w < workers; ++w)
            pool.emplace_back(work, w);
        try {
            for (size_t b = 0; b < blocks && complete; ++b) {
                Slot& slot = slots[b % slots.size()];
                {
                    std::unique_lock lock(mutex);
                    changed.wait(lock, [&] { return stop || (slot.block == b && slot.ready); });
                    if (stop) break;
                }
                complete = write(slot.text);
                std::lock_guard lock(mutex);
                slot.block = SIZE_MAX;
                slot.ready = false;
                changed.notify_all();
            }
        } catch (...) {
            fail();
        }
        std::lock_guard lock(mutex);
        stop = true;
        changed.notify_all();
    } // the workers end here
    if (error) std::rethrow_exception(error);
    return complete;
}

} // namespace kim
