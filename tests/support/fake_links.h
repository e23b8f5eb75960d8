#pragma once

#include "devicelib/core/connection.h"
#include "tests/support/exchange_backend.h"
#include "tests/support/fake_connection.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace zarvo::test {

// What the two fake connection kinds share: a device id, a back-end that
// answers each exchange, a probe for withdrawal and destruction, and stalls
// that end on a release or a cancel.
class fake_link : public zarvo::core::connection {
public:
    ~fake_link() override;

    std::uint64_t device_id() const { return id_; }
    // A device-to-host notification, handed over by a test thread or a
    // device model; dispatched as the kind does. True when handled.
    virtual bool device_notification(int id, const std::string& parameters) = 0;

    int readiness() override { return 0; }
    void withdrawn() override;

protected:
    fake_link(std::uint64_t id, std::shared_ptr<exchange_backend> backend,
              std::shared_ptr<connection_probe> probe);

    // One exchange with the back-end. A stalled answer waits until it is
    // released or take_abort() reports a cancel (then
    // zarvo::operation_canceled).
    exchange_answer run(const exchange_request& request);
    // True, once, when a cancel should end a stalled exchange.
    virtual bool take_abort() = 0;

    static exchange_request operation(int command, const std::string& path,
                                      std::string payload = {});
    // The whole of the caller's stream; zarvo::stream_failure when it fails.
    static std::string take(std::istream& in);
    // Into the caller's stream; zarvo::stream_failure when it fails.
    static void put(std::ostream& out, const std::string& bytes);

private:
    std::uint64_t id_;
    std::shared_ptr<exchange_backend> backend_;
    std::shared_ptr<connection_probe> probe_;
};

// The USB-like kind: "HID", resends while the device answers 2 (bounded),
// refuses with false on 105/104/103, a sticky cancel until reset_cancel, and
// every device notification of the USB link.
class usb_like_connection : public fake_link {
public:
    usb_like_connection(std::uint64_t id, std::shared_ptr<exchange_backend> backend,
                        std::shared_ptr<connection_probe> probe = {});

    bool transport(std::string& name) override;
    bool family(std::string& name) override;
    zarvo::disk_space disk_space() override;
    bool fetch(const boost::filesystem::path& directory, std::set<zarvo::entry>& entries) override;
    bool create(const boost::filesystem::path& directory) override;
    void read(const boost::filesystem::path& file, std::ostream& content) override;
    void write(const boost::filesystem::path& file, std::istream& content) override;
    void merge(const boost::filesystem::path& file, std::istream& content) override;
    bool remove(const boost::filesystem::path& p) override;
    void cancel() override;
    void reset_cancel() override;
    int query(int id, std::istream& parameters, std::ostream& result) override;
    int notify(int id, std::istream& parameters) override;
    bool device_notification(int id, const std::string& parameters) override;

private:
    bool take_abort() override;
    exchange_answer exchange(const exchange_request& request);
    // A file operation that answers true, or false on `refusal`.
    bool refusable(int command, const boost::filesystem::path& p, int refusal, const char* name,
                   std::set<zarvo::entry>* listing);
    void transfer(int command, const boost::filesystem::path& file, const char* name,
                  std::string payload, std::ostream* out);

    std::atomic<bool> cancel_{false};
};

// The network-like kind: "TCP"/"Dorvane", no resend, every refusal an error,
// a cancel that fails the next file operation with "cancelled!", and only the
// idle notification.
class net_like_connection : public fake_link {
public:
    net_like_connection(std::uint64_t id, std::shared_ptr<exchange_backend> backend,
                        std::shared_ptr<connection_probe> probe = {});

    bool transport(std::string& name) override;
    bool family(std::string& name) override;
    zarvo::disk_space disk_space() override;
    bool fetch(const boost::filesystem::path& directory, std::set<zarvo::entry>& entries) override;
    bool create(const boost::filesystem::path& directory) override;
    void read(const boost::filesystem::path& file, std::ostream& content) override;
    void write(const boost::filesystem::path& file, std::istream& content) override;
    void merge(const boost::filesystem::path& file, std::istream& content) override;
    bool remove(const boost::filesystem::path& p) override;
    void cancel() override;
    void reset_cancel() override;
    int query(int id, std::istream& parameters, std::ostream& result) override;
    int notify(int id, std::istream& parameters) override;
    bool device_notification(int id, const std::string& parameters) override;

private:
    bool take_abort() override;
    // Fails, clearing the request, when a cancel came before.
    void check_cancelled();
    exchange_answer file_operation(int command, const std::string& path,
                                   const std::string& request_path, std::istream* payload);

    std::mutex mutex_;
    bool cancelled_ = false;
    bool abort_ = false;
};

// The request path of a directory operation: "/" appended unless root.
std::string directory_request_path(const std::string& path);

} // namespace zarvo::test
