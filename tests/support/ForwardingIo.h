// An I/O library that passes every call to another one: test wrappers derive from it and
// override only the calls they watch or change.
#pragma once

#include "qnlio/IQnlIo.h"

namespace qnl::test {

class ForwardingIo : public IQnlIo {
  public:
    explicit ForwardingIo(IQnlIo& inner) : inner_(inner) {}

    std::uint32_t LoadQnlIODriver() override { return inner_.LoadQnlIODriver(); }
    void UnloadQnlIODriver() override { inner_.UnloadQnlIODriver(); }
    std::uint32_t PCI_Read_DWORD(std::uint32_t b, std::uint32_t d, std::uint32_t f,
                                 std::uint32_t o) override {
        return inner_.PCI_Read_DWORD(b, d, f, o);
    }
    std::uint8_t PCI_Read_BYTE(std::uint32_t b, std::uint32_t d, std::uint32_t f,
                               std::uint32_t o) override {
        return inner_.PCI_Read_BYTE(b, d, f, o);
    }
    void PCI_Write_DWORD(std::uint32_t b, std::uint32_t d, std::uint32_t f, std::uint32_t o,
                         std::uint32_t v) override {
        inner_.PCI_Write_DWORD(b, d, f, o, v);
    }
    void PCI_Write_Byte(std::uint32_t b, std::uint32_t d, std::uint32_t f, std::uint32_t o,
                        std::uint32_t v) override {
        inner_.PCI_Write_Byte(b, d, f, o, v);
    }
    MappedAddress MapQnlIO(std::uint32_t physical, std::uint32_t size) override {
        return inner_.MapQnlIO(physical, size);
    }
    void UnmapQnlIO(MappedAddress a, std::uint32_t size) override { inner_.UnmapQnlIO(a, size); }
    std::int32_t ReadMEM(MappedAddress a, std::uint32_t w, std::uint32_t* r) override {
        return inner_.ReadMEM(a, w, r);
    }
    std::int32_t WriteMEM(MappedAddress a, std::uint32_t w, const std::uint32_t* v) override {
        return inner_.WriteMEM(a, w, v);
    }
    std::int32_t WriteCmdALL(std::uint32_t b, std::uint32_t d, std::uint32_t f, std::uint32_t c,
                             std::uint32_t s, std::uint32_t l, std::uint32_t a, std::uint32_t lo,
                             std::uint32_t hi) override {
        return inner_.WriteCmdALL(b, d, f, c, s, l, a, lo, hi);
    }
    std::int32_t Wait_Write_Ready(std::uint32_t b, std::uint32_t d, std::uint32_t f) override {
        return inner_.Wait_Write_Ready(b, d, f);
    }
    std::int32_t Wait_Read_Ready(std::uint32_t b, std::uint32_t d, std::uint32_t f) override {
        return inner_.Wait_Read_Ready(b, d, f);
    }
    std::int32_t ReadCMD(std::uint32_t b, std::uint32_t d, std::uint32_t f,
                         std::uint8_t* reply) override {
        return inner_.ReadCMD(b, d, f, reply);
    }

  protected:
    IQnlIo& inner_;
};

}  // namespace qnl::test
