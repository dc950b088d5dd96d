#include "PortLock.h"

#include <atomic>
#include <memory>

namespace rdrload {

namespace {

std::once_flag g_created;
std::unique_ptr<std::mutex> g_lock;
std::atomic<int> g_creations{0};

} // namespace

void PortLock::create()
{
    std::call_once(g_created, [] {
        g_lock = std::make_unique<std::mutex>();
        g_creations.fetch_add(1);
    });
}

std::mutex &PortLock::mutex()
{
    create();
    return *g_lock;
}

int PortLock::creationCount()
{
    return g_creations.load();
}

} // namespace rdrload
