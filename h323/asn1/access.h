// Private access of the codec to the bookkeeping of SEQUENCE and CHOICE values.
#pragma once

#include <h323/asn1/types.h>

namespace asn1 {

struct SequenceAccess {
    static void clear_presence(Sequence &s)
    {
        s.present_[0] = s.present_[1] = 0;
        s.ext_bitmap_len_ = 0;
        s.unknown_.clear();
    }
    static uint32_t &ext_bitmap_len(Sequence &s) { return s.ext_bitmap_len_; }
    static uint32_t ext_bitmap_len(const Sequence &s) { return s.ext_bitmap_len_; }
    static std::vector<UnknownExtension> &unknown(Sequence &s) { return s.unknown_; }
};

struct ChoiceAccess {
    static void *value(Choice &c) { return c.value_; }
    static const void *value(const Choice &c) { return c.value_; }
    static std::vector<uint8_t> &unknown(Choice &c) { return c.unknown_; }
    /** Chooses an extension alternative this build does not know. */
    static void set_unknown(Choice &c, unsigned tag, std::vector<uint8_t> bytes)
    {
        c.Clear();
        c.tag_ = tag;
        c.unknown_ = std::move(bytes);
    }
    static void clear(Choice &c) { c.Clear(); }
};

} // namespace asn1
