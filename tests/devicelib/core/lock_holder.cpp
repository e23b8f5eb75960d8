#include "devicelib/core/interprocess_mutex.h"
#include <iostream>
#include <map>
#include <sstream>
#include <vector>
int main()
{
    std::map<std::uint64_t, std::unique_ptr<zarvo::core::interprocess_mutex>> m;
    std::vector<zarvo::core::interprocess_mutex*> holds;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream w(line);
        std::string c;
        w >> c;
        if (c == "hold") {
            std::uint64_t id;
            std::string mode;
            w >> id >> mode;
            auto& x = m[id];
            if (!x)
                x = zarvo::core::create_interprocess_mutex(id);
            if (mode == "wait") {
                x->lock();
                std::cout << "held" << std::endl;
                holds.push_back(x.get());
            } else if (x->try_lock()) {
                holds.push_back(x.get());
                std::cout << "held" << std::endl;
            } else
                std::cout << "busy" << std::endl;
        } else if (c == "release") {
            holds.back()->unlock();
            holds.pop_back();
            std::cout << "released" << std::endl;
        } else if (c == "exit") {
            std::cout << "bye" << std::endl;
            return 0;
        }
    }
}
