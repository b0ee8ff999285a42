#include "runtime/panel_file.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <set>
#include <sstream>

namespace strobelink::runtime {

namespace {

// Far above any real panel (ours are under 1 KiB). The TOML parser walks
// nested tables recursively, so the cap also bounds its stack: 16 KiB of
// dotted keys nest at most 8192 deep, a few MB of stack, where 64 KiB
// overflowed it.
constexpr std::size_t maximumFileSize = 16 * 1024;
constexpr std::int64_t maximumTextLength = 1 << 20;
constexpr double shortestInterval = 0.001; // the event loop's timers count milliseconds
constexpr double longestInterval = 24 * 3600.0;

struct Invalid {
    std::string why;
};

std::string at(const toml::node &node) {
    return "line " + std::to_string(node.source().begin.line) + ": ";
}

void allowOnly(const toml::table &table, std::initializer_list<std::string_view> keys,
               const std::string &what) {
    for (const auto &[key, value] : table) {
        if (std::find(keys.begin(), keys.end(), key.str()) == keys.end())
            throw Invalid{at(value) + what + ": unknown key \"" + std::string{key.str()} + "\""};
    }
}

template <typename T>
std::optional<T> optional(const toml::table &table, std::string_view key, const std::string &what) {
    const toml::node *node = table.get(key);
    if (node == nullptr)
        return std::nullopt;
    if (auto value = node->value_exact<T>())
        return value;
    throw Invalid{at(*node) + what + ": \"" + std::string{key} + "\" has the wrong type"};
}

template <typename T>
T required(const toml::table &table, std::string_view key, const std::string &what) {
    if (auto value = optional<T>(table, key, what))
        return *value;
    throw Invalid{at(table) + what + ": \"" + std::string{key} + "\" is missing"};
}

int identifier(const toml::table &table, std::string_view key, const std::string &what) {
    const auto value = required<std::int64_t>(table, key, what);
    if (value < 0 || value > std::numeric_limits<int>::max())
        throw Invalid{at(table) + what + ": \"" + std::string{key} + "\" is out of range"};
    return static_cast<int>(value);
}

ControlKind parseKind(const std::string &name, const toml::table &table, const std::string &what) {
    if (name == "text-input")
        return ControlKind::textInput;
    if (name == "text-display")
        return ControlKind::textDisplay;
    if (name == "button")
        return ControlKind::button;
    if (name == "timer")
        return ControlKind::timer;
    throw Invalid{at(table) + what + ": unknown kind \"" + name + "\""};
}

CtrlCallbackPtr resolve(const std::string &name, std::span<const NamedSymbol> symbols,
                        const toml::table &table, const std::string &what) {
    const auto found = std::find_if(symbols.begin(), symbols.end(),
                                    [&](const NamedSymbol &symbol) { return name == symbol.name; });
    if (found == symbols.end())
        throw Invalid{at(table) + what + ": the program has no callback \"" + name + "\""};
    return found->callback;
}

ControlSpec parseControl(const toml::table &table, std::span<const NamedSymbol> symbols) {
    ControlSpec control;
    control.id = identifier(table, "id", "control");
    const std::string what = "control " + std::to_string(control.id);
    allowOnly(table, {"id", "kind", "label", "callback", "max_length", "charset", "interval"}, what);
    control.kind = parseKind(required<std::string>(table, "kind", what), table, what);
    control.label = optional<std::string>(table, "label", what).value_or("");
    const bool isText = control.kind == ControlKind::textInput || control.kind == ControlKind::textDisplay;
    const bool isTimer = control.kind == ControlKind::timer;

    if (auto name = optional<std::string>(table, "callback", what))
        control.callback = resolve(*name, symbols, table, what);
    else if (control.kind == ControlKind::button || isTimer)
        throw Invalid{at(table) + what + ": \"callback\" is missing"};

    if (auto length = optional<std::int64_t>(table, "max_length", what)) {
        if (!isText || *length < 1 || *length > maximumTextLength)
            throw Invalid{at(table) + what + ": \"max_length\" is out of range or not for this kind"};
        control.maxLength = static_cast<std::size_t>(*length);
    }
    if (auto charset = optional<std::string>(table, "charset", what)) {
        if (!isText || (*charset != "any" && *charset != "printable-ascii"))
            throw Invalid{at(table) + what + ": unknown \"charset\" \"" + *charset + "\""};
        control.charset = *charset == "printable-ascii" ? Charset::printableAscii : Charset::any;
    }

    const toml::node *interval = table.get("interval");
    if (isTimer != (interval != nullptr))
        throw Invalid{at(table) + what + (isTimer ? ": a timer needs \"interval\"" : ": only a timer has \"interval\"")};
    if (interval != nullptr) {
        const auto seconds = interval->value<double>(); // an integer is fine too
        if (!seconds || !std::isfinite(*seconds) || *seconds < shortestInterval || *seconds > longestInterval)
            throw Invalid{at(*interval) + what + ": \"interval\" must be seconds from 0.001 to 86400"};
        control.interval = std::chrono::microseconds{std::llround(*seconds * 1e6)};
    }
    return control;
}

PanelSpec parsePanel(const toml::table &table, std::span<const NamedSymbol> symbols) {
    PanelSpec panel;
    panel.id = identifier(table, "id", "panel");
    const std::string what = "panel " + std::to_string(panel.id);
    allowOnly(table, {"id", "title", "left", "top", "default", "close", "control"}, what);
    panel.title = optional<std::string>(table, "title", what).value_or("");
    if (table.contains("left") || table.contains("top"))
        panel.position = {identifier(table, "left", what), identifier(table, "top", what)};

    std::set<int> ids;
    if (const toml::node *controls = table.get("control")) {
        const toml::array *list = controls->as_array();
        if (list == nullptr)
            throw Invalid{at(*controls) + what + ": \"control\" must be an array of tables"};
        for (const toml::node &entry : *list) {
            const toml::table *control = entry.as_table();
            if (control == nullptr)
                throw Invalid{at(entry) + what + ": a control must be a table"};
            panel.controls.push_back(parseControl(*control, symbols));
            if (!ids.insert(panel.controls.back().id).second)
                throw Invalid{at(entry) + what + ": control id " +
                              std::to_string(panel.controls.back().id) + " is used twice"};
        }
    }

    auto operable = [&](std::string_view key) -> std::optional<int> {
        if (!table.contains(key))
            return std::nullopt;
        const int id = identifier(table, key, what);
        const ControlSpec *control = panel.control(id);
        if (control == nullptr || control->kind != ControlKind::button)
            throw Invalid{at(table) + what + ": \"" + std::string{key} + "\" must name a button"};
        return id;
    };
    panel.defaultControl = operable("default");
    panel.closeControl = operable("close");
    return panel;
}

// The parser's handling of some non-ASCII characters outside strings is
// undefined behaviour; panel files need none (strings can use \u escapes).
std::optional<std::string> outsideTheFormat(std::string_view text) {
    if (text.size() > maximumFileSize)
        return "larger than 16 KiB";
    const auto nonAscii = std::find_if(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) > 0x7F; });
    if (nonAscii != text.end()) {
        const auto line = 1 + std::count(text.begin(), nonAscii, '\n');
        return "line " + std::to_string(line) + ": not ASCII; write other characters as \\u escapes in strings";
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> ControlSpec::refusal(std::string_view text) const {
    if (maxLength && text.size() > *maxLength)
        return "longer than " + std::to_string(*maxLength) + " characters";
    if (charset == Charset::printableAscii) {
        const auto bad = std::find_if(text.begin(), text.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E;
        });
        if (bad != text.end()) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(*bad));
            return std::string{"byte "} + hex + " at column " + std::to_string(bad - text.begin() + 1) +
                   " is not printable ASCII";
        }
    }
    return std::nullopt;
}

const ControlSpec *PanelSpec::control(int controlId) const {
    const auto found = std::find_if(controls.begin(), controls.end(),
                                    [&](const ControlSpec &c) { return c.id == controlId; });
    return found == controls.end() ? nullptr : &*found;
}

PanelFileResult parsePanelFile(std::string_view text, int panelId,
                               std::span<const NamedSymbol> symbols) {
    if (auto why = outsideTheFormat(text))
        return {std::nullopt, *why};
    try {
        const toml::table document = toml::parse(text);
        allowOnly(document, {"panel"}, "file");
        const toml::array *panels = document["panel"].as_array();
        if (panels == nullptr)
            return {std::nullopt, "no [[panel]] tables"};
        for (const toml::node &entry : *panels) {
            const toml::table *table = entry.as_table();
            if (table == nullptr)
                throw Invalid{at(entry) + "a panel must be a table"};
            if (identifier(*table, "id", "panel") == panelId)
                return {parsePanel(*table, symbols), {}};
        }
        return {std::nullopt, "no panel with id " + std::to_string(panelId)};
    } catch (const toml::parse_error &error) {
        std::ostringstream why;
        why << "line " << error.source().begin.line << ": not TOML: " << error.description();
        return {std::nullopt, why.str()};
    } catch (const Invalid &invalid) {
        return {std::nullopt, invalid.why};
    }
}

PanelFileResult loadPanelFile(const std::filesystem::path &path, int panelId,
                              std::span<const NamedSymbol> symbols) {
    std::ifstream file{path, std::ios::binary};
    if (!file)
        return {std::nullopt, path.string() + ": cannot be opened"};
    std::string text;
    text.resize(maximumFileSize + 1);
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (file.bad())
        return {std::nullopt, path.string() + ": cannot be read"};
    text.resize(static_cast<std::size_t>(file.gcount()));
    PanelFileResult result = parsePanelFile(text, panelId, symbols);
    if (!result.panel)
        result.failure = path.string() + ": " + result.failure;
    return result;
}

std::filesystem::path locatePanelFile(std::string_view name,
                                      const std::filesystem::path &executableDirectory) {
    const std::filesystem::path given{name};
    if (given.has_parent_path() || executableDirectory.empty())
        return given;
    for (const auto &candidate : {executableDirectory / given,
                                  executableDirectory / ".." / "share" / "strobelink" / given}) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate;
    }
    return executableDirectory / given;
}

} // namespace strobelink::runtime
