// Reading JSON that a stranger may have written: every member read must be
// there and of its type, and the first that is not is the one error told.
// Shared by the record-format library's readers; nobody else includes it.
#pragma once

#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace picalc::record_format {

using Json = nlohmann::ordered_json;

// Reads members of objects, each of the type it must have; the first that
// is missing or of another type is the error, and the rest read as unknown.
class Reader {
public:
    [[nodiscard]] const std::string& error() const {
        return error_;
    }
    void set_error(const std::string& error) {
        if (error_.empty()) {
            error_ = error;
        }
    }
    const Json* member(const Json& object, const char* name) {
        if (!error_.empty()) {
            return nullptr;
        }
        if (!object.is_object() || !object.contains(name)) {
            error_ = std::string("no \"") + name + "\" member";
            return nullptr;
        }
        return &object.at(name);
    }
    void fail(const char* name, const char* type) {
        set_error(std::string("\"") + name + "\" is not " + type);
    }
    std::string text(const Json& object, const char* name) {
        const Json* value = member(object, name);
        if (value == nullptr || value->is_null()) {
            return "";
        }
        if (!value->is_string()) {
            fail(name, "text or null");
            return "";
        }
        return value->get<std::string>();
    }
    // An array of text; empty when it is missing or not one.
    std::vector<std::string> texts(const Json& object, const char* name) {
        std::vector<std::string> values;
        const Json* value = array(object, name);
        for (const Json& item : value == nullptr ? Json::array() : *value) {
            if (!item.is_string()) {
                fail(name, "an array of text");
                return {};
            }
            values.push_back(item.get<std::string>());
        }
        return values;
    }
    std::int64_t count(const Json& object, const char* name) {
        const Json* value = member(object, name);
        if (value == nullptr || value->is_null()) {
            return -1;
        }
        if (!value->is_number_integer()) {
            fail(name, "a whole number or null");
            return -1;
        }
        return value->get<std::int64_t>();
    }
    std::int32_t count32(const Json& object, const char* name) {
        const std::int64_t value = count(object, name);
        if (value < INT32_MIN || value > INT32_MAX) {
            fail(name, "a 32-bit number");
            return -1;
        }
        return static_cast<std::int32_t>(value);
    }
    std::int32_t flag(const Json& object, const char* name) {
        const Json* value = member(object, name);
        if (value == nullptr || value->is_null()) {
            return -1;
        }
        if (!value->is_boolean()) {
            fail(name, "true, false or null");
            return -1;
        }
        return value->get<bool>() ? 1 : 0;
    }
    double number(const Json& object, const char* name) {
        const Json* value = member(object, name);
        if (value == nullptr || value->is_null()) {
            return -1;
        }
        if (!value->is_number() || !std::isfinite(value->get<double>()) ||
            value->get<double>() < 0) {
            fail(name, "a finite number of 0 or more, or null");
            return -1;
        }
        return value->get<double>();
    }
    const Json* array(const Json& object, const char* name) {
        const Json* value = member(object, name);
        if (value != nullptr && !value->is_array()) {
            fail(name, "an array");
            return nullptr;
        }
        return value;
    }

private:
    std::string error_;
};

} // namespace picalc::record_format
