#include "tests/devicelib/introspection/describe.h"

#include <sstream>

namespace zi = zarvo::introspection;

namespace zarvo::test {

namespace {

template <typename T>
void limits(std::ostream& out, const zi::limit_exceeded& error)
{
    out << " min=" << error.minimum<T>() << " max=" << error.maximum<T>();
}

void value_fields(std::ostream& out, const zi::invalid_value& error)
{
    out << " value=" << error.string_value();
    if (const auto* limit = dynamic_cast<const zi::limit_exceeded*>(&error)) {
        switch (error.data_type()) {
        case 1:
            limits<int>(out, *limit);
            break;
        case 2:
            limits<long long>(out, *limit);
            break;
        case 3:
        case 9:
            limits<unsigned int>(out, *limit);
            break;
        case 4:
            limits<unsigned long long>(out, *limit);
            break;
        case 5:
            limits<double>(out, *limit);
            break;
        default:
            limits<float>(out, *limit);
            break;
        }
    }
    if (const auto* mismatch = dynamic_cast<const zi::regex_mismatch*>(&error))
        out << " expression=" << mismatch->expression();
}

} // namespace

std::string describe(const zi::exception& error)
{
    std::ostringstream out;
    out.precision(17);
    out << "what=" << error.std_base().what() << " type=" << error.data_type()
        << " path=" << error.path() << " value_type=" << error.value_type();
    if (const auto* mismatch = dynamic_cast<const zi::type_mismatch*>(&error))
        out << " expected=" << mismatch->expected_type();
    if (const auto* unsupported = dynamic_cast<const zi::unsupported_properties*>(&error)) {
        for (const auto& property : unsupported->properties())
            out << " " << property.first << "=" << property.second;
    }
    if (const auto* bad = dynamic_cast<const zi::bad_property*>(&error))
        out << " key=" << bad->key() << " data=" << bad->data();
    if (const auto* missing = dynamic_cast<const zi::missing_property*>(&error))
        out << " key=" << missing->key();
    if (const auto* value = dynamic_cast<const zi::invalid_value*>(&error))
        value_fields(out, *value);
    if (const auto* elements = dynamic_cast<const zi::missing_elements*>(&error))
        out << " index=" << elements->index() << " size=" << elements->array_size();
    if (const auto* array = dynamic_cast<const zi::no_such_array*>(&error))
        out << " index=" << array->index();
    if (const auto* cast = dynamic_cast<const zi::bad_cast*>(&error))
        out << " to=" << cast->to_type() << " from=" << cast->from_type();
    return out.str();
}

} // namespace zarvo::test
