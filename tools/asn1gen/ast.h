// Syntax tree of the ASN.1 subset that H.225.0, H.235 and H.245 use.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace asn1gen {

struct Type;
using TypeP = std::shared_ptr<Type>;

/** A value or size range; set tells whether the constraint was given at all. */
struct Range {
    bool set = false;
    bool has_lb = false, has_ub = false;
    int64_t lb = 0, ub = 0;
    bool ext = false;
};

struct Component {
    std::string name;
    TypeP type;
    bool optional = false;
    bool ext = false; // an extension addition
};

struct Type {
    enum Kind {
        Null,
        Boolean,
        Integer,
        Enumerated,
        BitString,
        OctetString,
        ObjectId,
        IA5String,
        NumericString,
        PrintableString,
        BMPString,
        GeneralString,
        Sequence,
        Choice,
        SequenceOf,
        Ref,
        OpenType, // TYPE-IDENTIFIER.&Type (X): the octets of an X
    } kind = Null;

    std::string ref;          // Ref: the referenced type name
    std::string scope;        // Ref: the module that resolves the name
    std::vector<TypeP> args;  // Ref: actual parameters of a parameterized type

    std::vector<Component> comps; // Sequence, Choice
    bool extensible = false;

    TypeP elem; // SequenceOf

    std::vector<std::pair<std::string, int64_t>> items; // Enumerated, in written order
    size_t enum_root = 0;                                // items before the extension marker

    Range value, size;         // PER-visible constraints applied to this node
    bool has_alphabet = false; // FROM ("...")
    std::string alphabet;
};

struct Assignment {
    std::string name;
    std::vector<std::string> params; // formal parameters of a parameterized type
    TypeP type;
};

struct Module {
    std::string name;
    std::string prefix; // C++ name prefix, e.g. H225
    std::string file;   // output base name, e.g. h225
    std::vector<Assignment> assignments;
    std::map<std::string, size_t> index;          // type name -> assignment
    std::map<std::string, std::string> imports;   // type name -> module name
};

/** Parses one module from its text; throws std::runtime_error with a line number. */
Module parse_module(const std::string &text);

} // namespace asn1gen
