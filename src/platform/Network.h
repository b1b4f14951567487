#pragma once

#include <string>
#include <vector>

namespace qrt {

// One network interface as the system reports it.
struct TNetworkInterface {
    std::string Name;
    bool Up = false;      // administratively up
    bool Running = false; // operational (a link is there)
    bool Loopback = false;
    bool HasAddress = false; // carries an IPv4 or IPv6 address
};

// The machine's network interfaces (getifaddrs), one entry per interface name.
std::vector<TNetworkInterface> NetworkInterfaces();

// Whether an interface other than loopback is up, running and has an address.
bool AnyNetworkInterfaceUp(const std::vector<TNetworkInterface>& aInterfaces);

// AnyNetworkInterfaceUp for the machine's interfaces; false when they cannot be listed.
bool NetworkConnectionUp();

} // namespace qrt
