#include "platform/Network.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

namespace qrt {

std::vector<TNetworkInterface> NetworkInterfaces() {
    std::vector<TNetworkInterface> result;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return result;
    // getifaddrs gives one entry per address (and one for the link layer); fold them per name.
    for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_name) continue;
        TNetworkInterface* item = nullptr;
        for (auto& known : result)
            if (known.Name == entry->ifa_name) item = &known;
        if (!item) {
            result.push_back(TNetworkInterface{});
            item = &result.back();
            item->Name = entry->ifa_name;
        }
        item->Up = item->Up || (entry->ifa_flags & IFF_UP) != 0;
        item->Running = item->Running || (entry->ifa_flags & IFF_RUNNING) != 0;
        item->Loopback = item->Loopback || (entry->ifa_flags & IFF_LOOPBACK) != 0;
        if (entry->ifa_addr &&
            (entry->ifa_addr->sa_family == AF_INET || entry->ifa_addr->sa_family == AF_INET6))
            item->HasAddress = true;
    }
    ::freeifaddrs(list);
    return result;
}

bool AnyNetworkInterfaceUp(const std::vector<TNetworkInterface>& aInterfaces) {
    for (const auto& item : aInterfaces)
        if (item.Up && item.Running && !item.Loopback && item.HasAddress) return true;
    return false;
}

bool NetworkConnectionUp() {
    return AnyNetworkInterfaceUp(NetworkInterfaces());
}

} // namespace qrt
