// Transmitter: packet queue and buffer pool.
#include "pwlib/vic/transmitter.h"

namespace {

void free_list(Transmitter::Packet *p)
{
    while (p) {
        Transmitter::Packet *next = p->next;
        delete[] p->data;
        delete p;
        p = next;
    }
}

} // namespace

Transmitter::~Transmitter()
{
    free_list(head_);
    free_list(pool_);
}

Transmitter::Packet *Transmitter::GetPacket()
{
    Packet *p = pool_;
    if (p) {
        pool_ = p->next;
    } else {
        p = new Packet;
        p->data = new uint8_t[kDataBytes]();
    }
    p->next = nullptr;
    p->lenHdr = 0;
    p->lenBuf = 0;
    return p;
}

void Transmitter::StorePacket(Packet *pkt)
{
    pkt->next = nullptr;
    if (tail_)
        tail_->next = pkt;
    else
        head_ = pkt;
    tail_ = pkt;
}

Transmitter::Packet *Transmitter::TakePacket()
{
    Packet *p = head_;
    if (p) {
        head_ = p->next;
        if (!head_)
            tail_ = nullptr;
        p->next = nullptr;
    }
    return p;
}

void Transmitter::ReleasePacket(Packet *pkt)
{
    pkt->next = pool_;
    pool_ = pkt;
}
