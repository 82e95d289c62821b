// Lexer and parser for the ASN.1 subset of the H.323 modules (X.680 type notation).
#include "ast.h"

#include <cctype>
#include <stdexcept>

namespace asn1gen {
namespace {

struct Token {
    enum Kind { Word, Number, String, Symbol, End } kind;
    std::string text;
    int line;
};

std::vector<Token> lex(const std::string &s)
{
    std::vector<Token> out;
    int line = 1;
    size_t i = 0;
    auto at = [&](size_t k) { return k < s.size() ? s[k] : '\0'; };
    while (i < s.size()) {
        char c = s[i];
        if (c == '\n') {
            line++;
            i++;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            i++;
        } else if (c == '-' && at(i + 1) == '-') {
            // A comment runs to the next "--" or to the end of the line.
            i += 2;
            while (i < s.size() && s[i] != '\n' && !(s[i] == '-' && at(i + 1) == '-'))
                i++;
            if (i < s.size() && s[i] == '-')
                i += 2;
        } else if (c == '/' && at(i + 1) == '*') {
            i += 2;
            while (i < s.size() && !(s[i] == '*' && at(i + 1) == '/')) {
                if (s[i] == '\n')
                    line++;
                i++;
            }
            i += 2;
        } else if (std::isalpha(static_cast<unsigned char>(c))) {
            size_t j = i;
            while (j < s.size() &&
                   (std::isalnum(static_cast<unsigned char>(s[j])) ||
                    (s[j] == '-' && at(j + 1) != '-' &&
                     std::isalnum(static_cast<unsigned char>(at(j + 1))))))
                j++;
            out.push_back({Token::Word, s.substr(i, j - i), line});
            i = j;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            size_t j = i;
            while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])))
                j++;
            out.push_back({Token::Number, s.substr(i, j - i), line});
            i = j;
        } else if (c == '"') {
            size_t j = i + 1;
            while (j < s.size() && s[j] != '"')
                j++;
            out.push_back({Token::String, s.substr(i + 1, j - i - 1), line});
            i = j + 1;
        } else if (s.compare(i, 3, "::=") == 0 || s.compare(i, 3, "...") == 0) {
            out.push_back({Token::Symbol, s.substr(i, 3), line});
            i += 3;
        } else if (s.compare(i, 2, "..") == 0) {
            out.push_back({Token::Symbol, "..", line});
            i += 2;
        } else {
            out.push_back({Token::Symbol, std::string(1, c), line});
            i++;
        }
    }
    out.push_back({Token::End, "", line});
    return out;
}

class Parser {
  public:
    explicit Parser(std::vector<Token> t) : t_(std::move(t)) {}

    Module module()
    {
        Module m;
        m.name = word();
        expect("DEFINITIONS");
        while (!is("::="))
            next(); // tagging and extensibility defaults
        expect("::=");
        expect("BEGIN");
        scope_ = m.name;
        if (accept("IMPORTS"))
            imports(m);
        while (!accept("END")) {
            Assignment a;
            a.name = word();
            if (accept("{")) {
                do
                    a.params.push_back(word());
                while (accept(","));
                expect("}");
            }
            expect("::=");
            a.type = type();
            if (m.index.count(a.name))
                error("type " + a.name + " defined twice");
            m.index[a.name] = m.assignments.size();
            m.assignments.push_back(std::move(a));
        }
        return m;
    }

  private:
    [[noreturn]] void error(const std::string &what)
    {
        throw std::runtime_error("line " + std::to_string(t_[p_].line) + ": " + what +
                                 " (at '" + t_[p_].text + "')");
    }
    const Token &peek(size_t k = 0) const { return t_[std::min(p_ + k, t_.size() - 1)]; }
    bool is(const char *s, size_t k = 0) const
    {
        return peek(k).kind != Token::End && peek(k).kind != Token::String && peek(k).text == s;
    }
    void next()
    {
        if (peek().kind == Token::End)
            error("unexpected end");
        p_++;
    }
    bool accept(const char *s)
    {
        if (!is(s))
            return false;
        p_++;
        return true;
    }
    void expect(const char *s)
    {
        if (!accept(s))
            error(std::string("expected '") + s + "'");
    }
    std::string word()
    {
        if (peek().kind != Token::Word)
            error("expected a name");
        return t_[p_++].text;
    }
    /** Skips a balanced {...} or (...) group starting at the current token. */
    void skip_group()
    {
        std::string open = peek().text;
        std::string close = open == "{" ? "}" : ")";
        int depth = 0;
        do {
            if (is(open.c_str()))
                depth++;
            else if (is(close.c_str()))
                depth--;
            next();
        } while (depth > 0);
    }

    void imports(Module &m)
    {
        std::vector<std::string> names;
        while (!accept(";")) {
            if (accept("FROM")) {
                std::string from = word();
                for (auto &n : names)
                    m.imports[n] = from;
                names.clear();
                continue;
            }
            names.push_back(word());
            if (is("{"))
                skip_group();
            accept(",");
        }
    }

    int64_t number()
    {
        bool neg = accept("-");
        if (peek().kind != Token::Number)
            error("expected a number");
        int64_t v = std::stoll(t_[p_++].text);
        return neg ? -v : v;
    }

    /** value | value..value, with MIN and MAX; sets r. */
    void range(Range &r)
    {
        Range n;
        n.set = true;
        if (accept("MIN")) {
        } else {
            n.lb = number();
            n.has_lb = true;
        }
        if (accept("..")) {
            if (!accept("MAX")) {
                n.ub = number();
                n.has_ub = true;
            }
        } else {
            n.ub = n.lb;
            n.has_ub = n.has_lb;
        }
        intersect(r, n);
    }

    static void intersect(Range &r, const Range &n)
    {
        if (!r.set) {
            r = n;
            return;
        }
        if (n.has_lb && (!r.has_lb || n.lb > r.lb)) {
            r.lb = n.lb;
            r.has_lb = true;
        }
        if (n.has_ub && (!r.has_ub || n.ub < r.ub)) {
            r.ub = n.ub;
            r.has_ub = true;
        }
        r.ext = n.ext;
    }

    /** The (...) after SIZE. */
    void size_body(Range &s)
    {
        expect("(");
        while (!accept(")")) {
            if (accept("..."))
                s.ext = true;
            else if (!accept(","))
                range(s);
        }
    }

    /** The elements of one (...) constraint, applied to t. */
    void constraint(Type &t)
    {
        expect("(");
        Range value, size;
        bool in_ext = false;
        while (!accept(")")) {
            if (accept("...")) {
                in_ext = true;
                if (size.set && !value.set)
                    size.ext = true;
                else
                    value.ext = true;
            } else if (accept(",") || accept("^") || accept("|")) {
            } else if (accept("SIZE")) {
                Range s;
                size_body(s);
                if (!in_ext) {
                    bool ext = s.ext;
                    intersect(size, s);
                    size.ext = ext;
                }
            } else if (accept("FROM")) {
                expect("(");
                if (peek().kind != Token::String)
                    error("expected a string in FROM");
                std::string a = t_[p_++].text;
                expect(")");
                if (!in_ext) {
                    t.has_alphabet = true;
                    t.alphabet = a;
                }
            } else if (accept("WITH")) {
                expect("COMPONENTS");
                skip_group();
            } else if (accept("CONSTRAINED")) {
                expect("BY");
                skip_group();
            } else if (peek().kind == Token::Word && t.kind == Type::OpenType) {
                word(); // the type an open type carries: its octets are opaque here
            } else if (peek().kind == Token::Number || is("-") || is("MIN")) {
                Range v;
                range(v);
                if (!in_ext)
                    intersect(value, v);
            } else {
                error("unsupported constraint");
            }
        }
        if (value.set) {
            bool ext = value.ext;
            intersect(t.value, value);
            t.value.ext = ext;
        }
        if (size.set) {
            bool ext = size.ext;
            intersect(t.size, size);
            t.size.ext = ext;
        }
    }

    void components(Type &t, bool choice)
    {
        expect("{");
        bool ext = false;
        while (!accept("}")) {
            if (accept("...")) {
                if (ext)
                    error("a second extension marker is not supported");
                ext = true;
                t.extensible = true;
                accept(",");
                continue;
            }
            Component c;
            c.name = word();
            c.type = type();
            c.ext = ext;
            if (accept("OPTIONAL"))
                c.optional = true;
            if (is("DEFAULT"))
                error("DEFAULT values are not supported");
            if (choice && c.optional)
                error("OPTIONAL in a CHOICE");
            t.comps.push_back(std::move(c));
            accept(",");
        }
    }

    void enumeration(Type &t)
    {
        expect("{");
        int64_t next_value = 0;
        bool ext = false;
        while (!accept("}")) {
            if (accept("...")) {
                ext = true;
                t.extensible = true;
                accept(",");
                continue;
            }
            std::string name = word();
            int64_t v = next_value;
            if (accept("(")) {
                v = number();
                expect(")");
            }
            next_value = v + 1;
            t.items.push_back({name, v});
            if (!ext)
                t.enum_root = t.items.size();
            accept(",");
        }
    }

    TypeP type()
    {
        auto t = std::make_shared<Type>();
        std::string w = peek().kind == Token::Word ? peek().text : "";
        if (accept("BOOLEAN")) {
            t->kind = Type::Boolean;
        } else if (accept("NULL")) {
            t->kind = Type::Null;
        } else if (accept("INTEGER")) {
            t->kind = Type::Integer;
            if (is("{"))
                skip_group(); // named numbers
        } else if (accept("ENUMERATED")) {
            t->kind = Type::Enumerated;
            enumeration(*t);
        } else if (accept("BIT")) {
            expect("STRING");
            t->kind = Type::BitString;
            if (is("{"))
                skip_group(); // named bits
        } else if (accept("OCTET")) {
            expect("STRING");
            t->kind = Type::OctetString;
        } else if (accept("OBJECT")) {
            expect("IDENTIFIER");
            t->kind = Type::ObjectId;
        } else if (accept("IA5String")) {
            t->kind = Type::IA5String;
        } else if (accept("NumericString")) {
            t->kind = Type::NumericString;
        } else if (accept("PrintableString")) {
            t->kind = Type::PrintableString;
        } else if (accept("BMPString")) {
            t->kind = Type::BMPString;
        } else if (accept("GeneralString")) {
            t->kind = Type::GeneralString;
        } else if (accept("TYPE-IDENTIFIER")) {
            expect(".");
            expect("&");
            expect("Type");
            t->kind = Type::OpenType;
        } else if (w == "SEQUENCE" || w == "SET") {
            next();
            if (is("{")) {
                if (w == "SET")
                    error("SET is not supported");
                t->kind = Type::Sequence;
                components(*t, false);
            } else {
                t->kind = Type::SequenceOf;
                if (accept("SIZE")) {
                    Range sz;
                    size_body(sz);
                    bool ext = sz.ext;
                    intersect(t->size, sz);
                    t->size.ext = ext;
                } else if (is("(")) {
                    constraint(*t);
                }
                expect("OF");
                t->elem = type();
            }
        } else if (accept("CHOICE")) {
            t->kind = Type::Choice;
            components(*t, true);
        } else if (peek().kind == Token::Word && std::isupper(static_cast<unsigned char>(w[0]))) {
            next();
            t->kind = Type::Ref;
            t->ref = w;
            t->scope = scope_;
            if (accept("{")) {
                while (!accept("}")) {
                    t->args.push_back(type());
                    accept(",");
                }
            }
        } else {
            error("unsupported type");
        }
        while (is("("))
            constraint(*t);
        return t;
    }

    std::vector<Token> t_;
    size_t p_ = 0;
    std::string scope_;
};

} // namespace

Module parse_module(const std::string &text)
{
    Parser p(lex(text));
    return p.module();
}

} // namespace asn1gen
