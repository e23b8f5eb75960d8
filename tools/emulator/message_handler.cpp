#include "tools/emulator/message_handler.h"

namespace zarvo::emulator {

device_answer device_answer::ok(std::string payload)
{
    device_answer answer;
    answer.payload = std::move(payload);
    return answer;
}

} // namespace zarvo::emulator
