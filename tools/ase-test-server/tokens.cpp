#include "tokens.h"

#include <string>

#include "server_charset.h"

namespace vq::ase_server {

void WriteEnvChange(Bytes& out, std::uint8_t kind, std::string_view new_value,
                    std::string_view old_value) {
  ByteWriter w(out);
  new_value = new_value.substr(0, 255);
  old_value = old_value.substr(0, 255);
  w.U8(0xE3);
  w.U16(static_cast<std::uint16_t>(3 + new_value.size() + old_value.size()));
  w.U8(kind);
  w.U8(static_cast<std::uint8_t>(new_value.size()));
  w.Raw(new_value);
  w.U8(static_cast<std::uint8_t>(old_value.size()));
  w.Raw(old_value);
}

void WriteMessage(Bytes& out, const ServerMessage& m) {
  ByteWriter w(out);
  const std::string text = ToWire(m.text).substr(0, 65535 - 64);
  w.U8(0xE5);
  const std::size_t len_at = w.Mark();
  w.U16(0);
  w.U32(static_cast<std::uint32_t>(m.number));
  w.U8(static_cast<std::uint8_t>(m.state));
  w.U8(static_cast<std::uint8_t>(m.severity));
  w.U8(5);
  w.Raw("ZZZZZ");  // FreeTDS derives the SQLSTATE from the number
  w.U8(0);         // no extra parameters
  w.U16(0);        // transaction state
  w.U16(static_cast<std::uint16_t>(text.size()));
  w.Raw(text);
  w.U8(static_cast<std::uint8_t>(kServerName.size()));
  w.Raw(kServerName);
  w.U8(0);   // procedure name
  w.U16(1);  // line
  w.PatchU16(len_at, static_cast<std::uint16_t>(out.size() - len_at - 2));
}

void WriteLoginAck(Bytes& out, bool accepted) {
  ByteWriter w(out);
  constexpr std::string_view kProduct = "sql server";
  w.U8(0xAD);
  w.U16(static_cast<std::uint16_t>(1 + 4 + 1 + kProduct.size() + 4));
  w.U8(accepted ? 5 : 6);
  w.Raw(std::string_view("\x05\x00\x00\x00", 4));  // TDS 5.0
  w.U8(static_cast<std::uint8_t>(kProduct.size()));
  w.Raw(kProduct);
  // 15.7.0.0: from 12.5.1 on FreeTDS brackets the database name it sends with `use`.
  w.Raw(std::string_view("\x0f\x07\x00\x00", 4));
}

void WriteCapability(Bytes& out, const Bytes& block) {
  ByteWriter w(out);
  w.U8(0xE2);
  w.U16(static_cast<std::uint16_t>(block.size()));
  w.Raw(block);
}

void WriteDone(Bytes& out, std::uint16_t status, std::uint32_t count) {
  ByteWriter w(out);
  w.U8(0xFD);
  w.U16(status);
  w.U16(0);
  w.U32(count);
}

}  // namespace vq::ase_server
