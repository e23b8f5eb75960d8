#include "tests/support/exchange_backend.h"

namespace zarvo::test {

exchange_backend::~exchange_backend() = default;

void scripted_backend::answer(exchange_answer a)
{
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(a));
}

void scripted_backend::answer(int code, std::string payload)
{
    exchange_answer a;
    a.code = code;
    a.payload = std::move(payload);
    answer(std::move(a));
}

void scripted_backend::set_default(exchange_answer a)
{
    std::lock_guard<std::mutex> lock(mutex_);
    default_ = std::move(a);
}

std::vector<exchange_request> scripted_backend::requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void scripted_backend::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
    requests_.clear();
    default_ = exchange_answer{};
}

exchange_answer scripted_backend::exchange(const exchange_request& request)
{
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
    if (queue_.empty())
        return default_;
    exchange_answer a = std::move(queue_.front());
    queue_.pop_front();
    return a;
}

} // namespace zarvo::test
