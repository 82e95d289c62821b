// C++ emitter: one header and a few sources per module, classes plus descriptor tables.
#include "emit.h"

#include <algorithm>
#include <functional>
#include <set>
#include <sstream>
#include <stdexcept>

namespace asn1gen {
namespace {

constexpr size_t kClassesPerSource = 160;

const std::set<std::string> kKeywords = {
    "alignas", "alignof", "and", "asm", "auto", "bool", "break", "case", "catch", "char",
    "class", "const", "continue", "default", "delete", "do", "double", "else", "enum",
    "explicit", "export", "extern", "false", "float", "for", "friend", "goto", "if", "inline",
    "int", "long", "mutable", "namespace", "new", "not", "operator", "or", "private",
    "protected", "public", "register", "return", "short", "signed", "sizeof", "static",
    "struct", "switch", "template", "this", "throw", "true", "try", "typedef", "typeid",
    "typename", "union", "unsigned", "using", "virtual", "void", "volatile", "while", "xor"};

std::string ident(const std::string &s)
{
    std::string r = s;
    std::replace(r.begin(), r.end(), '-', '_');
    return r;
}

std::string accessor(const std::string &s)
{
    std::string r = ident(s);
    return kKeywords.count(r) ? r + "_" : r;
}

std::string num(int64_t v)
{
    if (v == INT64_MIN)
        return "asn1::kMinInt";
    return std::to_string(v) + "LL";
}

/** A use of a type: its C++ type, its descriptor and the class it needs complete. */
struct Use {
    std::string cpp;
    std::string desc;
    std::string cls; // non-empty when the C++ type is a generated class held by value
};

struct ClassDef {
    std::string name;
    std::string header;
    std::string source;
    std::vector<std::string> deps;
};

struct ModuleOut {
    Module *mod = nullptr;
    std::vector<std::string> forwards;
    std::vector<std::string> aliases;
    std::vector<std::string> externs;
    std::vector<ClassDef> classes;
    std::string shared_source; // descriptors shared by many fields
    std::map<std::string, std::string> shared; // signature -> descriptor name
    std::set<std::string> includes;
    std::set<std::string> names;
};

class Emitter {
  public:
    explicit Emitter(std::vector<Module> &mods)
    {
        for (auto &m : mods) {
            by_name_[m.name] = &m;
            out_[m.name].mod = &m;
        }
    }

    Files run()
    {
        for (auto &[name, mo] : out_)
            for (auto &a : mo.mod->assignments)
                if (a.params.empty())
                    named(*mo.mod, a.name);
        Files files;
        for (auto &[name, mo] : out_)
            write(mo, files);
        return files;
    }

  private:
    std::map<std::string, Module *> by_name_;
    std::map<std::string, ModuleOut> out_;
    std::map<std::string, Use> memo_; // "module.Type" -> use

    [[noreturn]] static void error(const std::string &what) { throw std::runtime_error(what); }

    /** Finds the assignment a name refers to in scope, following imports. */
    std::pair<Module *, const Assignment *> lookup(const std::string &name,
                                                   const std::string &scope)
    {
        auto mi = by_name_.find(scope);
        if (mi == by_name_.end())
            error("unknown module " + scope);
        Module *m = mi->second;
        auto it = m->index.find(name);
        if (it != m->index.end())
            return {m, &m->assignments[it->second]};
        auto im = m->imports.find(name);
        if (im != m->imports.end())
            return lookup(name, im->second);
        error("unknown type " + name + " in " + scope);
    }

    static bool constrained(const Type &t)
    {
        return t.value.set || t.size.set || t.has_alphabet;
    }

    static void merge(Range &inner, const Range &outer)
    {
        if (!outer.set)
            return;
        if (!inner.set) {
            inner = outer;
            return;
        }
        if (outer.has_lb && (!inner.has_lb || outer.lb > inner.lb)) {
            inner.lb = outer.lb;
            inner.has_lb = true;
        }
        if (outer.has_ub && (!inner.has_ub || outer.ub < inner.ub)) {
            inner.ub = outer.ub;
            inner.has_ub = true;
        }
        inner.ext = outer.ext;
    }

    /** The builtin type under a chain of references, with all constraints merged. */
    Type builtin(const TypeP &t)
    {
        if (t->kind != Type::Ref)
            return *t;
        if (!t->args.empty())
            return *instantiate(t);
        auto [m, a] = lookup(t->ref, t->scope);
        if (!a->params.empty())
            error("parameterized type " + t->ref + " used as a plain type");
        Type b = builtin(a->type);
        merge(b.value, t->value);
        merge(b.size, t->size);
        if (t->has_alphabet) {
            b.has_alphabet = true;
            b.alphabet = t->alphabet;
        }
        return b;
    }

    /** Replaces references to formal parameters by the actual types. */
    TypeP substitute(const TypeP &t, const std::map<std::string, TypeP> &actual)
    {
        if (t->kind == Type::Ref && t->args.empty()) {
            auto it = actual.find(t->ref);
            if (it != actual.end())
                return it->second;
        }
        auto c = std::make_shared<Type>(*t);
        for (auto &comp : c->comps)
            comp.type = substitute(comp.type, actual);
        if (c->elem)
            c->elem = substitute(c->elem, actual);
        for (auto &arg : c->args)
            arg = substitute(arg, actual);
        return c;
    }

    TypeP instantiate(const TypeP &t)
    {
        auto [m, a] = lookup(t->ref, t->scope);
        if (a->params.size() != t->args.size())
            error("wrong parameter count for " + t->ref);
        std::map<std::string, TypeP> actual;
        for (size_t i = 0; i < a->params.size(); i++)
            actual[a->params[i]] = t->args[i];
        return substitute(a->type, actual);
    }

    ModuleOut &out(Module &m) { return out_[m.name]; }

    void claim(ModuleOut &mo, const std::string &name)
    {
        if (!mo.names.insert(name).second)
            error("generated name " + name + " used twice");
    }

    /** The use of a named type, generating it on first use. */
    Use named(Module &m, const std::string &name)
    {
        std::string key = m.name + "." + name;
        auto it = memo_.find(key);
        if (it != memo_.end())
            return it->second;
        const Assignment &a = m.assignments[m.index.at(name)];
        ModuleOut &mo = out(m);
        std::string cname = m.prefix + "_" + ident(name);
        TypeP t = a.type;
        if (t->kind == Type::Ref && !t->args.empty())
            t = instantiate(t);
        Use u;
        switch (t->kind) {
        case Type::Sequence:
        case Type::Choice:
        case Type::Enumerated:
            u = {cname, cname + "_desc", cname};
            memo_[key] = u;
            define_class(m, cname, name, *t);
            return u;
        case Type::SequenceOf: {
            u = {cname, cname + "_desc", ""};
            memo_[key] = u;
            claim(mo, cname);
            Use e = field(m, t->elem, cname + "_subtype");
            mo.aliases.push_back("using " + cname + " = asn1::Array<" + e.cpp + ">;");
            mo.externs.push_back(cname + "_desc");
            mo.shared_source += sequence_of_desc(cname + "_desc", name, e, t->size);
            return u;
        }
        case Type::Ref: {
            auto [tm, ta] = lookup(t->ref, t->scope);
            Use target = named(*tm, ta->name);
            claim(mo, cname);
            Type b = builtin(t);
            bool cls = b.kind == Type::Sequence || b.kind == Type::Choice ||
                       b.kind == Type::Enumerated || b.kind == Type::SequenceOf;
            if (!constrained(*t) || cls) {
                u = {cname, target.desc, target.cls};
                mo.aliases.push_back("using " + cname + " = " + target.cpp + ";");
            } else {
                u = {cname, cname + "_desc", ""};
                mo.aliases.push_back("using " + cname + " = " + cpp_of(b) + ";");
                mo.externs.push_back(cname + "_desc");
                mo.shared_source += primitive_desc(cname + "_desc", name, b);
            }
            memo_[key] = u;
            return u;
        }
        default: {
            claim(mo, cname);
            u = {cname, cname + "_desc", ""};
            memo_[key] = u;
            mo.aliases.push_back("using " + cname + " = " + cpp_of(*t) + ";");
            mo.externs.push_back(cname + "_desc");
            mo.shared_source += primitive_desc(cname + "_desc", name, *t);
            return u;
        }
        }
    }

    /** The use of a component's type; ctx names inline types. */
    Use field(Module &m, const TypeP &t0, const std::string &ctx)
    {
        TypeP t = t0;
        if (t->kind == Type::Ref && !t->args.empty())
            t = instantiate(t);
        ModuleOut &mo = out(m);
        switch (t->kind) {
        case Type::Ref: {
            auto [tm, ta] = lookup(t->ref, t->scope);
            Use target = named(*tm, ta->name);
            Type b = builtin(t);
            bool cls = b.kind == Type::Sequence || b.kind == Type::Choice ||
                       b.kind == Type::Enumerated || b.kind == Type::SequenceOf;
            if (!constrained(*t) || cls)
                return target;
            return {b.kind == Type::Integer ? cpp_of(b) : target.cpp, shared_primitive(mo, b), ""};
        }
        case Type::Sequence:
        case Type::Choice:
        case Type::Enumerated: {
            std::string asn_name = ctx.substr(m.prefix.size() + 1);
            define_class(m, ctx, asn_name, *t);
            return {ctx, ctx + "_desc", ctx};
        }
        case Type::SequenceOf: {
            Use e = field(m, t->elem, ctx + "_subtype");
            std::string cpp = "asn1::Array<" + e.cpp + ">";
            std::string sig = "seqof " + e.desc + " " + bounds_text(t->size);
            auto it = mo.shared.find(sig);
            if (it != mo.shared.end())
                return {cpp, it->second, ""};
            std::string d = m.prefix + "_SeqOf" + std::to_string(mo.shared.size()) + "_desc";
            mo.shared[sig] = d;
            mo.externs.push_back(d);
            mo.shared_source += sequence_of_desc(d, "SEQUENCE OF", e, t->size);
            return {cpp, d, ""};
        }
        default:
            return {cpp_of(*t), shared_primitive(mo, *t), ""};
        }
    }

    static std::string cpp_of(const Type &t)
    {
        switch (t.kind) {
        case Type::Null: return "asn1::Null";
        case Type::Boolean: return "asn1::Boolean";
        case Type::Integer:
            if (t.value.set && t.value.has_lb && t.value.has_ub)
                return "asn1::Int<" + num(t.value.lb) + ", " + num(t.value.ub) +
                       (t.value.ext ? ", true>" : ">");
            if (t.value.set && t.value.has_lb)
                return "asn1::Int<" + num(t.value.lb) + ", asn1::kMaxInt" +
                       (t.value.ext ? ", true>" : ">");
            return "asn1::Integer";
        case Type::BitString: return "asn1::BitString";
        case Type::OctetString:
        case Type::OpenType: return "asn1::OctetString";
        case Type::ObjectId: return "asn1::ObjectId";
        case Type::IA5String: return "asn1::IA5String";
        case Type::NumericString: return "asn1::NumericString";
        case Type::PrintableString: return "asn1::PrintableString";
        case Type::BMPString: return "asn1::BMPString";
        case Type::GeneralString: return "asn1::GeneralString";
        default: error("not a primitive type");
        }
    }

    static std::string kind_of(const Type &t)
    {
        switch (t.kind) {
        case Type::Null: return "Null";
        case Type::Boolean: return "Boolean";
        case Type::Integer: return "Integer";
        case Type::BitString: return "BitString";
        case Type::OctetString:
        case Type::OpenType: return "OctetString";
        case Type::ObjectId: return "ObjectId";
        case Type::IA5String:
        case Type::NumericString:
        case Type::PrintableString: return "KnownString";
        case Type::BMPString: return "BMPString";
        case Type::GeneralString: return "GeneralString";
        default: error("not a primitive type");
        }
    }

    static const char *asn_kind(const Type &t)
    {
        switch (t.kind) {
        case Type::Null: return "NULL";
        case Type::Boolean: return "BOOLEAN";
        case Type::Integer: return "INTEGER";
        case Type::BitString: return "BIT STRING";
        case Type::OctetString: return "OCTET STRING";
        case Type::OpenType: return "TYPE-IDENTIFIER.&Type";
        case Type::ObjectId: return "OBJECT IDENTIFIER";
        case Type::IA5String: return "IA5String";
        case Type::NumericString: return "NumericString";
        case Type::PrintableString: return "PrintableString";
        case Type::BMPString: return "BMPString";
        case Type::GeneralString: return "GeneralString";
        default: return "?";
        }
    }

    static std::string bounds_text(const Range &r)
    {
        if (!r.set)
            return "{}";
        return "{" + num(r.has_lb ? r.lb : 0) + ", " + num(r.has_ub ? r.ub : 0) + ", " +
               (r.has_lb ? "true" : "false") + ", " + (r.has_ub ? "true" : "false") + ", " +
               (r.ext ? "true" : "false") + "}";
    }

    static std::string bounds_of(const Type &t)
    {
        switch (t.kind) {
        case Type::Integer: return bounds_text(t.value);
        case Type::BitString:
        case Type::OctetString:
        case Type::IA5String:
        case Type::NumericString:
        case Type::PrintableString:
        case Type::BMPString:
        case Type::GeneralString:
        case Type::SequenceOf: return bounds_text(t.size);
        default: return "{}";
        }
    }

    /** The permitted alphabet of a known-multiplier string, emitted once per module. */
    std::string alphabet(ModuleOut &mo, const Type &t)
    {
        std::string base;
        if (t.kind == Type::IA5String) {
            for (int c = 0; c < 128; c++)
                base.push_back(static_cast<char>(c));
        } else if (t.kind == Type::NumericString) {
            base = " 0123456789";
        } else {
            base = " '()+,-./0123456789:=?ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        }
        std::string chars;
        for (char c : base)
            if (!t.has_alphabet || t.alphabet.find(c) != std::string::npos)
                chars.push_back(c);
        std::sort(chars.begin(), chars.end());
        std::string sig = "alphabet " + chars;
        auto it = mo.shared.find(sig);
        if (it != mo.shared.end())
            return it->second;
        unsigned need = 0;
        while ((size_t(1) << need) < chars.size())
            need++;
        unsigned bits = 1;
        while (bits < need)
            bits *= 2;
        bool indexed = static_cast<unsigned char>(chars.back()) > (1u << bits) - 1;
        uint64_t mask[2] = {0, 0};
        std::string lit;
        for (char c : chars) {
            unsigned u = static_cast<unsigned char>(c);
            mask[u / 64] |= uint64_t(1) << (u % 64);
            char buf[8];
            snprintf(buf, sizeof buf, "\\%03o", u);
            lit += buf;
        }
        std::string name = mo.mod->prefix + "_alphabet" + std::to_string(mo.shared.size());
        mo.shared[sig] = name;
        char masks[64];
        snprintf(masks, sizeof masks, "{0x%016llxULL, 0x%016llxULL}",
                 static_cast<unsigned long long>(mask[0]),
                 static_cast<unsigned long long>(mask[1]));
        mo.shared_source += "static constexpr asn1::Alphabet " + name + " = {\"" + lit + "\", " +
                            std::to_string(chars.size()) + ", " + std::to_string(bits) + ", " +
                            (indexed ? "true" : "false") + ", " + masks + "};\n";
        return name;
    }

    std::string primitive_desc(const std::string &d, const std::string &asn_name, const Type &t)
    {
        ModuleOut &mo = out_[current_module(d)];
        std::string info = "nullptr";
        if (t.kind == Type::IA5String || t.kind == Type::NumericString ||
            t.kind == Type::PrintableString)
            info = "&" + alphabet(mo, t);
        return "constinit const asn1::TypeDesc " + d + " = {\"" + asn_name + "\", asn1::Kind::" +
               kind_of(t) + ", " + bounds_of(t) + ", " + info + ", &asn1::OpsFor<" + cpp_of(t) +
               ">::ops};\n";
    }

    std::string current_module(const std::string &desc)
    {
        for (auto &[name, mo] : out_)
            if (desc.rfind(mo.mod->prefix + "_", 0) == 0)
                return name;
        error("no module for " + desc);
    }

    std::string shared_primitive(ModuleOut &mo, const Type &t)
    {
        std::string sig = std::string(kind_of(t)) + " " + cpp_of(t) + " " + bounds_of(t) + " " +
                          (t.has_alphabet ? t.alphabet : "");
        auto it = mo.shared.find(sig);
        if (it != mo.shared.end())
            return it->second;
        std::string d = mo.mod->prefix + "_" + ident(kind_of(t)) + std::to_string(mo.shared.size()) +
                        "_desc";
        mo.shared[sig] = d;
        mo.externs.push_back(d);
        mo.shared_source += primitive_desc(d, asn_kind(t), t);
        return d;
    }

    std::string sequence_of_desc(const std::string &d, const std::string &asn_name, const Use &e,
                                 const Range &size)
    {
        std::string info = d.substr(0, d.size() - 5) + "_info";
        return "static constexpr asn1::SequenceOfInfo " + info + " = {&" + e.desc +
               ", &asn1::SequenceOfOps<" + e.cpp + ">::size, &asn1::SequenceOfOps<" + e.cpp +
               ">::resize, &asn1::SequenceOfOps<" + e.cpp + ">::reserve, &asn1::SequenceOfOps<" +
               e.cpp + ">::at};\nconstinit const asn1::TypeDesc " + d + " = {\"" + asn_name +
               "\", asn1::Kind::SequenceOf, " + bounds_text(size) + ", &" + info +
               ", &asn1::OpsFor<asn1::Array<" + e.cpp + ">>::ops};\n";
    }

    void define_class(Module &m, const std::string &cname, const std::string &asn_name,
                      const Type &t)
    {
        ModuleOut &mo = out(m);
        claim(mo, cname);
        mo.forwards.push_back(cname);
        mo.externs.push_back(cname + "_desc");
        size_t slot = mo.classes.size();
        mo.classes.push_back({cname, "", "", {}});
        ClassDef c{cname, "", "", {}};
        if (t.kind == Type::Sequence)
            sequence_class(m, c, asn_name, t);
        else if (t.kind == Type::Choice)
            choice_class(m, c, asn_name, t);
        else
            enum_class(c, asn_name, t);
        out(m).classes[slot] = std::move(c);
    }

    void sequence_class(Module &m, ClassDef &c, const std::string &asn_name, const Type &t)
    {
        const std::string &n = c.name;
        std::vector<Use> uses;
        for (auto &comp : t.comps)
            uses.push_back(field(m, comp.type, n + "_" + ident(comp.name)));
        // Presence bits: root OPTIONAL components first, then every extension addition.
        std::vector<int> presence(t.comps.size(), -1);
        int bit = 0;
        size_t root_count = 0;
        for (size_t i = 0; i < t.comps.size(); i++)
            if (!t.comps[i].ext) {
                root_count++;
                if (t.comps[i].optional)
                    presence[i] = bit++;
            }
        int root_optional = bit;
        for (size_t i = 0; i < t.comps.size(); i++)
            if (t.comps[i].ext)
                presence[i] = bit++;
        if (bit > 128)
            error(n + " has more than 128 optional fields");
        for (size_t i = 0; i + 1 < t.comps.size(); i++)
            if (t.comps[i].ext && !t.comps[i + 1].ext)
                error(n + ": root components after the extension additions");

        std::ostringstream h;
        h << "class " << n << " : public asn1::Sequence {\n  public:\n";
        if (bit > 0) {
            h << "    enum OptionalFields {\n";
            for (size_t i = 0; i < t.comps.size(); i++)
                if (presence[i] >= 0)
                    h << "        e_" << ident(t.comps[i].name) << ",\n";
            h << "    };\n";
        }
        h << "    static const asn1::TypeDesc &Desc() { return " << n << "_desc; }\n";
        for (size_t i = 0; i < t.comps.size(); i++) {
            h << "    " << uses[i].cpp << " m_" << ident(t.comps[i].name) << ";\n";
            if (!uses[i].cls.empty())
                c.deps.push_back(uses[i].cls);
        }
        h << "};\n";
        c.header = h.str();

        std::ostringstream s;
        std::string member = "nullptr", fields = "nullptr";
        if (!t.comps.empty()) {
            member = "&" + n + "_member";
            fields = n + "_fields";
            s << "static void *" << n << "_member(void *o, unsigned i)\n{\n    auto &v = *static_cast<"
              << n << " *>(static_cast<asn1::Sequence *>(o));\n    switch (i) {\n";
            for (size_t i = 0; i < t.comps.size(); i++)
                s << "    case " << i << ": return asn1::storage_of(v.m_" << ident(t.comps[i].name)
                  << ");\n";
            s << "    }\n    return nullptr;\n}\n";
            s << "static constexpr asn1::FieldDesc " << n << "_fields[] = {\n";
            for (size_t i = 0; i < t.comps.size(); i++)
                s << "    {\"" << t.comps[i].name << "\", &" << uses[i].desc << ", " << presence[i]
                  << ", " << (t.comps[i].ext ? "true" : "false")
                  << (t.comps[i].ext && !t.comps[i].optional ? ", true" : "") << "},\n";
            s << "};\n";
        }
        s << "static constexpr asn1::SequenceInfo " << n << "_info = {" << fields << ", "
          << t.comps.size() << ", " << root_count << ", " << root_optional << ", "
          << (t.extensible ? "true" : "false") << ", " << member << "};\n";
        s << "constinit const asn1::TypeDesc " << n << "_desc = {\"" << asn_name
          << "\", asn1::Kind::Sequence, {}, &" << n << "_info, &asn1::OpsFor<" << n
          << ">::ops};\n\n";
        c.source = s.str();
    }

    void choice_class(Module &m, ClassDef &c, const std::string &asn_name, const Type &t)
    {
        const std::string &n = c.name;
        std::vector<Use> uses;
        std::vector<bool> is_null;
        for (auto &comp : t.comps) {
            uses.push_back(field(m, comp.type, n + "_" + ident(comp.name)));
            is_null.push_back(builtin(comp.type).kind == Type::Null);
        }
        size_t root_count = 0;
        for (auto &comp : t.comps)
            if (!comp.ext)
                root_count++;
        if (root_count == 0)
            error(n + ": a CHOICE without root alternatives");

        std::ostringstream h;
        h << "class " << n << " : public asn1::Choice {\n  public:\n    enum Choices {\n";
        for (auto &comp : t.comps)
            h << "        e_" << ident(comp.name) << ",\n";
        h << "    };\n";
        h << "    " << n << "() : asn1::Choice(&" << n << "_desc) {}\n";
        h << "    static const asn1::TypeDesc &Desc() { return " << n << "_desc; }\n";
        for (size_t i = 0; i < t.comps.size(); i++) {
            if (is_null[i])
                continue;
            std::string a = accessor(t.comps[i].name);
            h << "    " << uses[i].cpp << " &" << a << "();\n";
            h << "    const " << uses[i].cpp << " &" << a << "() const;\n";
        }
        h << "};\n";
        c.header = h.str();

        std::ostringstream s;
        s << "static constexpr asn1::AltDesc " << n << "_alts[] = {\n";
        for (size_t i = 0; i < t.comps.size(); i++)
            s << "    {\"" << t.comps[i].name << "\", &" << uses[i].desc << "},\n";
        s << "};\n";
        s << "static constexpr asn1::ChoiceInfo " << n << "_info = {" << n << "_alts, "
          << t.comps.size() << ", " << root_count << ", " << (t.extensible ? "true" : "false")
          << "};\n";
        s << "constinit const asn1::TypeDesc " << n << "_desc = {\"" << asn_name
          << "\", asn1::Kind::Choice, {}, &" << n << "_info, &asn1::OpsFor<" << n << ">::ops};\n";
        for (size_t i = 0; i < t.comps.size(); i++) {
            if (is_null[i])
                continue;
            std::string a = accessor(t.comps[i].name);
            const std::string &T = uses[i].cpp;
            s << T << " &" << n << "::" << a << "()\n{\n    return *static_cast<" << T
              << " *>(static_cast<asn1::storage_t<" << T << "> *>(Select(e_"
              << ident(t.comps[i].name) << ")));\n}\n";
            s << "const " << T << " &" << n << "::" << a << "() const\n{\n    return *static_cast<const "
              << T << " *>(static_cast<const asn1::storage_t<" << T << "> *>(Get(e_"
              << ident(t.comps[i].name) << ")));\n}\n";
        }
        s << "\n";
        c.source = s.str();
    }

    void enum_class(ClassDef &c, const std::string &asn_name, const Type &t)
    {
        const std::string &n = c.name;
        std::vector<std::pair<std::string, int64_t>> order(t.items.begin(),
                                                           t.items.begin() + long(t.enum_root));
        std::stable_sort(order.begin(), order.end(),
                         [](auto &a, auto &b) { return a.second < b.second; });
        order.insert(order.end(), t.items.begin() + long(t.enum_root), t.items.end());

        std::ostringstream h;
        h << "class " << n << " : public asn1::EnumeratedValue {\n  public:\n    enum Enumerations {\n";
        for (auto &[name, v] : t.items)
            h << "        e_" << ident(name) << " = " << v << ",\n";
        h << "    };\n";
        h << "    " << n << "() { value = " << order.front().second << "; }\n";
        h << "    " << n << "(Enumerations e) { value = e; }\n";
        h << "    " << n << " &operator=(Enumerations e)\n    {\n        value = e;\n        return *this;\n    }\n";
        h << "    Enumerations GetValue() const { return static_cast<Enumerations>(value); }\n";
        h << "    static const asn1::TypeDesc &Desc() { return " << n << "_desc; }\n};\n";
        c.header = h.str();

        std::ostringstream s;
        s << "static constexpr int64_t " << n << "_values[] = {";
        for (auto &it : order)
            s << it.second << ", ";
        s << "};\nstatic constexpr const char *" << n << "_names[] = {";
        for (auto &it : order)
            s << "\"" << it.first << "\", ";
        s << "};\nstatic constexpr asn1::EnumInfo " << n << "_info = {" << n << "_values, " << n
          << "_names, " << order.size() << ", " << t.enum_root << ", "
          << (t.extensible ? "true" : "false") << "};\n";
        s << "constinit const asn1::TypeDesc " << n << "_desc = {\"" << asn_name
          << "\", asn1::Kind::Enumerated, {}, &" << n << "_info, &asn1::OpsFor<" << n
          << ">::ops};\n\n";
        c.source = s.str();
    }

    /** Classes ordered so that each comes after the classes it holds by value. */
    static std::vector<const ClassDef *> ordered(const ModuleOut &mo)
    {
        std::map<std::string, const ClassDef *> by;
        for (auto &c : mo.classes)
            by[c.name] = &c;
        std::vector<const ClassDef *> res;
        std::map<std::string, int> state;
        std::function<void(const ClassDef *)> visit = [&](const ClassDef *c) {
            int &s = state[c->name];
            if (s == 2)
                return;
            if (s == 1)
                error("classes hold each other by value: " + c->name);
            s = 1;
            for (auto &d : c->deps) {
                auto it = by.find(d);
                if (it != by.end())
                    visit(it->second);
            }
            s = 2;
            res.push_back(c);
        };
        for (auto &c : mo.classes)
            visit(&c);
        return res;
    }

    void write(ModuleOut &mo, Files &files)
    {
        Module &m = *mo.mod;
        std::string banner = "// generated by tools/asn1gen from " + m.name + "; do not edit\n";
        std::set<std::string> deps;
        for (auto &[n, from] : m.imports)
            deps.insert(by_name_.at(from)->file);

        std::ostringstream h;
        h << banner << "#pragma once\n\n#include <h323/asn1/descriptor.h>\n#include <h323/asn1/types.h>\n";
        for (auto &d : deps)
            h << "#include <h323/asn1/gen/" << d << ".h>\n";
        h << "\n";
        for (auto &f : mo.forwards)
            h << "class " << f << ";\n";
        h << "\n";
        for (auto &a : mo.aliases)
            h << a << "\n";
        h << "\n";
        for (auto &e : mo.externs)
            h << "extern const asn1::TypeDesc " << e << ";\n";
        h << "\n";
        for (auto *c : ordered(mo))
            h << c->header << "\n";
        files[m.file + ".h"] = h.str();

        std::string head = banner + "#include <h323/asn1/gen/" + m.file + ".h>\n\n";
        size_t chunks = (mo.classes.size() + kClassesPerSource - 1) / kClassesPerSource;
        if (chunks == 0)
            chunks = 1;
        for (size_t k = 0; k < chunks; k++) {
            std::string s = head;
            if (k == 0)
                s += mo.shared_source + "\n";
            for (size_t i = k * kClassesPerSource;
                 i < std::min(mo.classes.size(), (k + 1) * kClassesPerSource); i++)
                s += mo.classes[i].source;
            files[m.file + "_" + std::to_string(k) + ".cpp"] = s;
        }
    }
};

} // namespace

Files emit(std::vector<Module> &modules)
{
    Emitter e(modules);
    return e.run();
}

} // namespace asn1gen
