#include "devicelib/core/connection_poster.h"

#include "devicelib/core/posting.h"

namespace zarvo::core {
namespace {

class posting_poster : public connection_poster {
public:
    void publish(std::uint64_t id, connection* c, unsigned delay_ms) override
    {
        post_publish_connection(id, c, delay_ms);
    }
    void withdraw(std::uint64_t id, connection* c) override { post_withdraw_connection(id, c); }
};

} // namespace

connection_poster::~connection_poster() = default;

connection_poster& core_poster()
{
    static posting_poster the_core;
    return the_core;
}

} // namespace zarvo::core
