#include "text/JsonDocument.h"

#include "core/Uuid.h"

namespace vesk {
namespace {

// The library's own document builder, stopped as soon as the nesting gets too deep.
class DepthLimitedBuilder {
public:
    using json = nlohmann::json;
    using Builder = nlohmann::detail::json_sax_dom_parser<json>;

    DepthLimitedBuilder(json& result, int maxDepth) : builder_(result, false), maxDepth_(maxDepth) {}

    bool null() { return builder_.null(); }
    bool boolean(bool value) { return builder_.boolean(value); }
    bool number_integer(json::number_integer_t value) { return builder_.number_integer(value); }
    bool number_unsigned(json::number_unsigned_t value) { return builder_.number_unsigned(value); }
    bool number_float(json::number_float_t value, const json::string_t& text) {
        return builder_.number_float(value, text);
    }
    bool string(json::string_t& value) { return builder_.string(value); }
    bool binary(json::binary_t& value) { return builder_.binary(value); }
    bool start_object(std::size_t length) { return enter() && builder_.start_object(length); }
    bool key(json::string_t& value) { return builder_.key(value); }
    bool end_object() {
        --depth_;
        return builder_.end_object();
    }
    bool start_array(std::size_t length) { return enter() && builder_.start_array(length); }
    bool end_array() {
        --depth_;
        return builder_.end_array();
    }
    template <typename Exception>
    bool parse_error(std::size_t position, const std::string& token, const Exception& error) {
        return builder_.parse_error(position, token, error);
    }

    bool failed() const { return tooDeep_ || builder_.is_errored(); }

private:
    bool enter() {
        if (++depth_ <= maxDepth_) return true;
        tooDeep_ = true;
        return false;
    }

    Builder builder_;
    int maxDepth_;
    int depth_ = 0;
    bool tooDeep_ = false;
};

}  // namespace

bool readUuid(const std::string& text, std::string* upperCase) {
    bool canonical = text.size() == 36;
    for (size_t i = 0; canonical && i < text.size(); ++i) {
        const char c = text[i];
        canonical =
            (i == 8 || i == 13 || i == 18 || i == 23) ? c == '-' : (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    }
    if (!canonical) return parseUuid(text, upperCase);
    *upperCase = text;
    return true;
}

std::optional<nlohmann::json> parseJsonDocument(std::string_view text, int maxDepth) {
    nlohmann::json result;
    DepthLimitedBuilder builder(result, maxDepth);
    bool parsed = false;
    try {
        parsed = nlohmann::json::sax_parse(text, &builder, nlohmann::json::input_format_t::json, true, false);
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
    if (!parsed || builder.failed()) return std::nullopt;
    return result;
}

}  // namespace vesk
