#include "devicelib/introspection/data_type_registry.h"

#include "devicelib/errors/general_errors.h"
#include "devicelib/introspection/literal_validator.h"
#include "devicelib/introspection/numeric_validator.h"
#include "devicelib/introspection/type_errors.h"

#include <google/protobuf/descriptor.h>

#include <atomic>
#include <utility>

namespace zarvo::introspection {

namespace {

using google::protobuf::FieldDescriptor;

// Set while this thread is inside a lookup, callbacks included.
thread_local bool inside_lookup = false;

class lookup_mark {
public:
    lookup_mark()
    {
        if (inside_lookup)
            throw invalid_function("Validation started during a value-type lookup.");
        inside_lookup = true;
    }
    ~lookup_mark() { inside_lookup = false; }
    lookup_mark(const lookup_mark&) = delete;
    lookup_mark& operator=(const lookup_mark&) = delete;
};

// The validators this thread has been given by one registry, read without
// the registry's lock. Validators live as long as their registry and ids are
// never reused, so an entry is only ever read while its registry lives.
class thread_memory {
public:
    const validator* find(std::uint64_t registry, const std::string& name) const
    {
        if (registry != registry_)
            return nullptr;
        const auto found = validators_.find(name);
        return found != validators_.end() ? found->second : nullptr;
    }
    void keep(std::uint64_t registry, const std::string& name, const validator* built)
    {
        if (registry != registry_) {
            validators_.clear();
            registry_ = registry;
        }
        validators_.emplace(name, built);
    }

private:
    std::uint64_t registry_ = 0;
    std::map<std::string, const validator*, std::less<>> validators_;
};

thread_local thread_memory remembered;

std::atomic<std::uint64_t> registries_made{0};

std::unique_ptr<validator> make_validator(int type, const std::string& path,
                                          const std::string& name, detail::properties& entry,
                                          auditor& audit, unsigned& flags)
{
    switch (type) {
    case FieldDescriptor::CPPTYPE_INT32:
        return std::make_unique<numeric_validator<int>>(type, path, name, entry, audit, flags);
    case FieldDescriptor::CPPTYPE_INT64:
        return std::make_unique<numeric_validator<long long>>(type, path, name, entry, audit,
                                                              flags);
    case FieldDescriptor::CPPTYPE_UINT32:
        return std::make_unique<numeric_validator<unsigned int>>(type, path, name, entry, audit,
                                                                 flags);
    case FieldDescriptor::CPPTYPE_UINT64:
        return std::make_unique<numeric_validator<unsigned long long>>(type, path, name, entry,
                                                                       audit, flags);
    case FieldDescriptor::CPPTYPE_DOUBLE:
        return std::make_unique<numeric_validator<double>>(type, path, name, entry, audit, flags);
    case FieldDescriptor::CPPTYPE_FLOAT:
        return std::make_unique<numeric_validator<float>>(type, path, name, entry, audit, flags);
    case FieldDescriptor::CPPTYPE_STRING:
        return std::make_unique<literal_validator>(type, path, name, entry, audit, flags);
    default:
        throw invalid_function("Invalid data type " + std::to_string(type) + ".");
    }
}

} // namespace

data_type_registry::data_type_registry(table_source source)
    : source_(std::move(source))
    , id_(++registries_made)
{
}

data_type_registry::~data_type_registry() = default;

data_type_registry& data_type_registry::instance()
{
    // Never destroyed: threads keep pointers to its validators, and a thread
    // may still validate while the process's statics are being destroyed.
    static data_type_registry* const registry = new data_type_registry(builtin_table_source());
    return *registry;
}

const validator* data_type_registry::get_validator(int type, const std::string& path,
                                                   const std::string& name, auditor& audit,
                                                   unsigned& flags)
{
    lookup_mark mark;
    if (const validator* hit = remembered.find(id_, name))
        return hit;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!table_)
        table_ = load_value_type_table(source_);
    const validator* result = find_or_build(type, path, name, audit, flags);
    if (result)
        remembered.keep(id_, name, result);
    return result;
}

const validator* data_type_registry::find_or_build(int type, const std::string& path,
                                                   const std::string& name, auditor& audit,
                                                   unsigned& flags)
{
    if (const auto cached = cache_.find(name); cached != cache_.end())
        return cached->second.get();

    const auto found = table_->find(name);
    if (found == table_->not_found()) {
        if (!audit.unknown_type(type, path, name, flags))
            throw unknown_type(type, path, name);
        flags |= issue::unknown_type;
        return nullptr;
    }

    // Built from a copy with flags of its own, so that a throw leaves the
    // entry, the cache and the caller's flags as they were.
    detail::properties entry = found->second;
    unsigned built_flags = flags;
    auto built = make_validator(type, path, name, entry, audit, built_flags);
    if (!entry.empty()) {
        auditor::property_map leftover;
        for (const auto& [key, value] : entry)
            leftover.emplace(key, value.data());
        if (!audit.unsupported_properties(type, path, name, leftover, built_flags))
            throw unsupported_properties(type, path, name, leftover);
        built_flags |= issue::unsupported_properties;
    }

    const validator* result = built.get();
    cache_.emplace(name, std::move(built));
    table_->erase(name);
    flags = built_flags;
    return result;
}

} // namespace zarvo::introspection
