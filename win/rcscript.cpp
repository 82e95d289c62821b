// Resource script parser and formatter.
#include <win/rcscript.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>

namespace win::rc {
namespace {

struct Token {
    std::string text;
    bool quoted = false;
};

// Splits one line into words and quoted strings; "//" outside a string starts a comment.
bool Tokenize(std::string_view line, std::vector<Token> &out, std::string &error)
{
    out.clear();
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '/' && i + 1 < line.size() && line[i + 1] == '/')
            break;
        Token t;
        if (c == '"') {
            t.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char d = line[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d != '\\') {
                    t.text += d;
                    continue;
                }
                if (i >= line.size()) {
                    error = "backslash at end of line";
                    return false;
                }
                char e = line[i++];
                switch (e) {
                case 'n': t.text += '\n'; break;
                case 'r': t.text += '\r'; break;
                case 't': t.text += '\t'; break;
                case '\\': t.text += '\\'; break;
                case '"': t.text += '"'; break;
                default:
                    error = std::string("unknown escape \\") + e;
                    return false;
                }
            }
            if (!closed) {
                error = "unterminated string";
                return false;
            }
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' &&
                   line[i] != '"')
                t.text += line[i++];
        }
        out.push_back(std::move(t));
    }
    return true;
}

bool ToInt(const Token &t, int &value)
{
    if (t.quoted || t.text.empty())
        return false;
    std::string_view s = t.text;
    bool negative = false;
    if (s[0] == '-') {
        negative = true;
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    long long v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (ec != std::errc() || end != s.data() + s.size() || v > 0x7fffffffLL)
        return false;
    value = static_cast<int>(negative ? -v : v);
    return true;
}

const std::set<std::string, std::less<>> kControlKinds = {
    "LTEXT",    "CTEXT",    "RTEXT",  "EDIT",     "BUTTON", "DEFBUTTON", "CHECKBOX", "GROUPBOX",
    "COMBOBOX", "RICHEDIT", "SLIDER", "PROGRESS", "ICON",   "BITMAP",    "FRAME"};

const std::set<std::string, std::less<>> kFileTypes = {"BITMAP", "ICON", "CURSOR"};

std::string Quote(std::string_view s)
{
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        default: out += c;
        }
    }
    return out + "\"";
}

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    bool Run(Script &script, std::string &error);

  private:
    bool NextLine();
    bool Fail(std::string_view reason);
    bool ParseStrings(Script &script);
    bool ParseDialogBody(DialogTemplate &d);
    bool ParseMenuItems(std::vector<MenuItem> &items, int depth);
    bool ParseDialogHead(DialogTemplate &d);

    std::string_view text_;
    size_t pos_ = 0;
    int line_ = 0;
    std::vector<Token> tok_;
    std::string error_;
};

// Advances to the next line that holds tokens; false at the end of the text or on error.
bool Parser::NextLine()
{
    while (pos_ < text_.size()) {
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos)
            end = text_.size();
        std::string_view line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        ++line_;
        std::string err;
        if (!Tokenize(line, tok_, err)) {
            Fail(err);
            return false;
        }
        if (!tok_.empty())
            return true;
    }
    tok_.clear();
    return false;
}

bool Parser::Fail(std::string_view reason)
{
    if (error_.empty())
        error_ = "line " + std::to_string(line_) + ": " + std::string(reason);
    return false;
}

bool Parser::ParseStrings(Script &script)
{
    while (NextLine()) {
        if (tok_[0].text == "END" && !tok_[0].quoted)
            return true;
        int id = 0;
        if (tok_.size() != 2 || !ToInt(tok_[0], id) || !tok_[1].quoted)
            return Fail("expected: id \"text\"");
        if (id < 0 || id > 0xffff)
            return Fail("string id out of range");
        if (!script.strings.emplace(id, tok_[1].text).second)
            return Fail("duplicate string id " + std::to_string(id));
    }
    return Fail("STRINGTABLE without END");
}

bool Parser::ParseDialogHead(DialogTemplate &d)
{
    if (tok_.size() < 7 || !ToInt(tok_[1], d.id) || !ToInt(tok_[2], d.x) ||
        !ToInt(tok_[3], d.y) || !ToInt(tok_[4], d.cx) || !ToInt(tok_[5], d.cy) ||
        !tok_[6].quoted)
        return Fail("expected: DIALOG id x y cx cy \"caption\" styles...");
    d.caption = tok_[6].text;
    for (size_t i = 7; i < tok_.size(); ++i)
        d.styles.push_back(tok_[i].text);
    return true;
}

bool Parser::ParseDialogBody(DialogTemplate &d)
{
    while (NextLine()) {
        const std::string &kw = tok_[0].text;
        if (tok_[0].quoted)
            return Fail("unexpected string");
        if (kw == "END")
            return true;
        if (kw == "FONT") {
            if (tok_.size() != 3 || !ToInt(tok_[1], d.fontSize) || !tok_[2].quoted)
                return Fail("expected: FONT size \"face\"");
            d.fontFace = tok_[2].text;
            continue;
        }
        if (!kControlKinds.count(kw))
            return Fail("unknown control kind " + kw);
        ControlTemplate c;
        c.kind = kw;
        if (tok_.size() < 7 || !ToInt(tok_[1], c.id) || !tok_[2].quoted || !ToInt(tok_[3], c.x) ||
            !ToInt(tok_[4], c.y) || !ToInt(tok_[5], c.cx) || !ToInt(tok_[6], c.cy))
            return Fail("expected: KIND id \"text\" x y cx cy flags...");
        c.text = tok_[2].text;
        bool inData = false;
        for (size_t i = 7; i < tok_.size(); ++i) {
            if (inData) {
                if (!tok_[i].quoted)
                    return Fail("DATA takes strings only");
                c.data.push_back(tok_[i].text);
            } else if (!tok_[i].quoted && tok_[i].text == "DATA") {
                inData = true;
            } else if (tok_[i].quoted) {
                return Fail("unexpected string among flags");
            } else {
                c.flags.push_back(tok_[i].text);
            }
        }
        d.controls.push_back(std::move(c));
    }
    return Fail("DIALOG without END");
}

bool Parser::ParseMenuItems(std::vector<MenuItem> &items, int depth)
{
    if (depth > 8)
        return Fail("menus nested too deeply");
    while (NextLine()) {
        const std::string &kw = tok_[0].text;
        if (kw == "END" && !tok_[0].quoted)
            return true;
        MenuItem item;
        if (kw == "SEPARATOR" && tok_.size() == 1) {
            item.separator = true;
        } else if (kw == "ITEM") {
            if (tok_.size() != 3 || !ToInt(tok_[1], item.id) || !tok_[2].quoted)
                return Fail("expected: ITEM id \"text\"");
            item.text = tok_[2].text;
        } else if (kw == "POPUP") {
            if (tok_.size() != 2 || !tok_[1].quoted)
                return Fail("expected: POPUP \"text\"");
            item.popup = true;
            item.text = tok_[1].text;
            if (!ParseMenuItems(item.children, depth + 1))
                return false;
        } else {
            return Fail("unknown menu statement " + kw);
        }
        items.push_back(std::move(item));
    }
    return Fail("MENU without END");
}

bool Parser::Run(Script &script, std::string &error)
{
    std::set<int> dialogIds, menuIds;
    std::set<std::pair<std::string, std::string>> fileIds;
    while (NextLine()) {
        const std::string &kw = tok_[0].text;
        if (tok_[0].quoted) {
            Fail("unexpected string");
            break;
        }
        if (kw == "STRINGTABLE" && tok_.size() == 1) {
            if (!ParseStrings(script))
                break;
        } else if (kw == "DIALOG") {
            DialogTemplate d;
            if (!ParseDialogHead(d) || !ParseDialogBody(d))
                break;
            if (!dialogIds.insert(d.id).second) {
                Fail("duplicate dialog " + std::to_string(d.id));
                break;
            }
            script.dialogs.push_back(std::move(d));
        } else if (kw == "MENU") {
            MenuTemplate m;
            if (tok_.size() != 2 || !ToInt(tok_[1], m.id)) {
                Fail("expected: MENU id");
                break;
            }
            if (!ParseMenuItems(m.items, 0))
                break;
            if (!menuIds.insert(m.id).second) {
                Fail("duplicate menu " + std::to_string(m.id));
                break;
            }
            script.menus.push_back(std::move(m));
        } else if (kFileTypes.count(kw) || kw == "RESOURCE") {
            FileResource f;
            size_t at = 1;
            if (kw == "RESOURCE") {
                if (tok_.size() != 4 || tok_[1].quoted) {
                    Fail("expected: RESOURCE TYPE NAME \"file\"");
                    break;
                }
                f.type = NormalizeName(tok_[1].text);
                at = 2;
            } else {
                f.type = kw;
            }
            if (tok_.size() != at + 2 || !tok_[at + 1].quoted) {
                Fail("expected: " + kw + " name \"file\"");
                break;
            }
            int id = 0;
            f.name = ToInt(tok_[at], id) ? ResourceName(id) : NormalizeName(tok_[at].text);
            f.path = tok_[at + 1].text;
            if (!fileIds.insert({f.type, f.name}).second) {
                Fail("duplicate resource " + f.type + " " + f.name);
                break;
            }
            script.files.push_back(std::move(f));
        } else {
            Fail("unknown statement " + kw);
            break;
        }
    }
    error = error_;
    return error_.empty();
}

} // namespace

bool ControlTemplate::Has(std::string_view flag) const
{
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

bool DialogTemplate::Has(std::string_view style) const
{
    return std::find(styles.begin(), styles.end(), style) != styles.end();
}

const ControlTemplate *DialogTemplate::Find(int controlId) const
{
    for (const auto &c : controls)
        if (c.id == controlId)
            return &c;
    return nullptr;
}

bool ParseScript(std::string_view text, Script &out, std::string &error)
{
    Parser p(text);
    return p.Run(out, error);
}

bool ParseDialog(std::string_view text, DialogTemplate &out, std::string &error)
{
    Script s;
    if (!ParseScript(text, s, error))
        return false;
    if (s.dialogs.size() != 1 || !s.menus.empty() || !s.strings.empty() || !s.files.empty()) {
        error = "expected exactly one DIALOG";
        return false;
    }
    out = std::move(s.dialogs[0]);
    return true;
}

bool ParseMenu(std::string_view text, MenuTemplate &out, std::string &error)
{
    Script s;
    if (!ParseScript(text, s, error))
        return false;
    if (s.menus.size() != 1 || !s.dialogs.empty() || !s.strings.empty() || !s.files.empty()) {
        error = "expected exactly one MENU";
        return false;
    }
    out = std::move(s.menus[0]);
    return true;
}

std::string FormatDialog(const DialogTemplate &d)
{
    std::string out = "DIALOG " + std::to_string(d.id) + " " + std::to_string(d.x) + " " +
                      std::to_string(d.y) + " " + std::to_string(d.cx) + " " +
                      std::to_string(d.cy) + " " + Quote(d.caption);
    for (const auto &s : d.styles)
        out += " " + s;
    out += "\nFONT " + std::to_string(d.fontSize) + " " + Quote(d.fontFace) + "\n";
    for (const auto &c : d.controls) {
        out += c.kind + " " + std::to_string(c.id) + " " + Quote(c.text) + " " +
               std::to_string(c.x) + " " + std::to_string(c.y) + " " + std::to_string(c.cx) +
               " " + std::to_string(c.cy);
        for (const auto &f : c.flags)
            out += " " + f;
        if (!c.data.empty()) {
            out += " DATA";
            for (const auto &item : c.data)
                out += " " + Quote(item);
        }
        out += "\n";
    }
    return out + "END\n";
}

namespace {
void FormatItems(const std::vector<MenuItem> &items, std::string &out)
{
    for (const auto &item : items) {
        if (item.separator) {
            out += "SEPARATOR\n";
        } else if (item.popup) {
            out += "POPUP " + Quote(item.text) + "\n";
            FormatItems(item.children, out);
            out += "END\n";
        } else {
            out += "ITEM " + std::to_string(item.id) + " " + Quote(item.text) + "\n";
        }
    }
}
} // namespace

std::string FormatMenu(const MenuTemplate &menu)
{
    std::string out = "MENU " + std::to_string(menu.id) + "\n";
    FormatItems(menu.items, out);
    return out + "END\n";
}

std::string ResourceName(int id) { return "#" + std::to_string(id); }

std::string NormalizeName(std::string_view name)
{
    std::string out(name);
    for (char &c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

} // namespace win::rc
