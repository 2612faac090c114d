#include "row_encoding.h"

#include <algorithm>

#include "server_charset.h"
#include "server_message.h"
#include "value_conversion.h"

namespace vq::ase_server {
namespace {

constexpr std::uint8_t kStatusNullable = 0x20;

bool HasOneByteLength(std::uint8_t t) {
  switch (t) {
    case 0x26:
    case 0xBB:  // bigdatetime
    case 0x6D:
    case 0x6E:
    case 0x6F:
    case 0x7B:
    case 0x93:
    case 0x2F:
    case 0x27:
    case 0x2D:
    case 0x25:
      return true;
    default:
      return false;
  }
}

bool IsLobWire(std::uint8_t t) {
  return t == 0x23 || t == 0x22 || t == 0xAE;
}
bool IsLongWire(std::uint8_t t) {
  return t == 0xAF || t == 0xE1;
}
bool IsNumericWire(std::uint8_t t) {
  return t == 0x6C || t == 0x6A;
}

std::int64_t AsInt(const CellValue& v) {
  if (const auto* i = std::get_if<std::int64_t>(&v)) return *i;
  if (const auto* d = std::get_if<double>(&v)) return static_cast<std::int64_t>(*d);
  return 0;
}

double AsDouble(const CellValue& v) {
  if (const auto* d = std::get_if<double>(&v)) return *d;
  if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
  return 0;
}

// The payload bytes of a non-NULL value of a fixed-size type.
void FixedBytes(ByteWriter& w, TypeKind kind, const CellValue& v) {
  switch (kind) {
    case TypeKind::kTinyInt:
    case TypeKind::kBit:
      w.U8(static_cast<std::uint8_t>(AsInt(v)));
      break;
    case TypeKind::kSmallInt:
      w.U16(static_cast<std::uint16_t>(AsInt(v)));
      break;
    case TypeKind::kInt:
    case TypeKind::kSmallMoney:
    case TypeKind::kDate:
    case TypeKind::kTime:
      w.U32(static_cast<std::uint32_t>(AsInt(v)));
      break;
    case TypeKind::kBigInt:
    case TypeKind::kBigDateTime:  // microseconds since 0000-01-01
      w.U64(static_cast<std::uint64_t>(AsInt(v)));
      break;
    case TypeKind::kMoney: {
      // High 32 bits first, then the low 32 bits.
      const auto units = static_cast<std::uint64_t>(AsInt(v));
      w.U32(static_cast<std::uint32_t>(units >> 32));
      w.U32(static_cast<std::uint32_t>(units));
      break;
    }
    case TypeKind::kFloat:
      w.F64(AsDouble(v));
      break;
    case TypeKind::kReal:
      w.F32(static_cast<float>(AsDouble(v)));
      break;
    case TypeKind::kDateTime: {
      const std::int64_t packed = AsInt(v);
      std::int64_t days = packed / 25920000, ticks = packed % 25920000;
      if (ticks < 0) {
        ticks += 25920000;
        --days;
      }
      w.U32(static_cast<std::uint32_t>(days));
      w.U32(static_cast<std::uint32_t>(ticks));
      break;
    }
    case TypeKind::kSmallDateTime: {
      const std::int64_t packed = AsInt(v);
      w.U16(static_cast<std::uint16_t>(packed / 1440));
      w.U16(static_cast<std::uint16_t>(packed % 1440));
      break;
    }
    default:
      break;
  }
}

// The bytes a character or binary value travels as.
std::string PayloadOf(const ResultColumn& column, const CellValue& v) {
  if (const auto* t = std::get_if<Text>(&v)) {
    return column.type.kind == TypeKind::kUniChar || column.type.kind == TypeKind::kUniVarChar
               ? Utf8ToUtf16Le(t->utf8)
               : ToWire(t->utf8);
  }
  if (const auto* b = std::get_if<Binary>(&v)) {
    return std::string(b->bytes.begin(), b->bytes.end());
  }
  return {};
}

}  // namespace

void WriteRowFormat(Bytes& out, const std::vector<ResultColumn>& columns) {
  ByteWriter w(out);
  w.U8(0xEE);
  const std::size_t len_at = w.Mark();
  w.U16(0);
  w.U16(static_cast<std::uint16_t>(columns.size()));
  for (const auto& col : columns) {
    const WireFormat wire = WireFormatFor(col.type, col.nullable);
    const std::string name = ToWire(col.name).substr(0, 255);
    w.U8(static_cast<std::uint8_t>(name.size()));
    w.Raw(name);
    w.U8(col.nullable ? kStatusNullable : 0);
    w.U32(wire.usertype);
    w.U8(wire.type);
    if (HasOneByteLength(wire.type)) {
      w.U8(static_cast<std::uint8_t>(std::min(wire.max_length, 255)));
      // bigdatetime also gives its precision: six decimals of a second.
      if (wire.type == 0xBB) w.U8(6);
    } else if (IsNumericWire(wire.type)) {
      w.U8(static_cast<std::uint8_t>(wire.max_length));
      w.U8(static_cast<std::uint8_t>(col.type.precision));
      w.U8(static_cast<std::uint8_t>(col.type.scale));
    } else if (IsLongWire(wire.type)) {
      w.U32(static_cast<std::uint32_t>(wire.max_length));
    } else if (IsLobWire(wire.type)) {
      w.U32(static_cast<std::uint32_t>(wire.max_length));
      const std::string table = ToWire(col.table).substr(0, 255);
      w.U16(static_cast<std::uint16_t>(table.size()));
      w.Raw(table);
    }
    w.U8(0);  // locale
  }
  const std::size_t length = out.size() - len_at - 2;
  if (length > 0xFFFF) {
    // ROWFMT has a 2-byte length; refuse rather than send a corrupt stream.
    out.resize(len_at - 1);
    throw ServerError(ServerMessage{
        1702, 16, 1, "The result has too many columns or too long column names to describe.\n"});
  }
  w.PatchU16(len_at, static_cast<std::uint16_t>(length));
}

void WriteValue(Bytes& out, const ResultColumn& column, const CellValue& v, std::size_t text_size) {
  ByteWriter w(out);
  const WireFormat wire = WireFormatFor(column.type, column.nullable);
  const bool null = IsNull(v);
  if (IsNumericWire(wire.type)) {
    if (null) {
      w.U8(0);
      return;
    }
    const Int128 unscaled = std::get_if<Numeric>(&v) ? std::get<Numeric>(v).unscaled : 0;
    const int size = wire.max_length;
    w.U8(static_cast<std::uint8_t>(size));
    w.U8(unscaled < 0 ? 1 : 0);
    unsigned __int128 magnitude = unscaled < 0 ? static_cast<unsigned __int128>(-unscaled)
                                               : static_cast<unsigned __int128>(unscaled);
    // Big-endian magnitude in size - 1 bytes.
    std::vector<std::uint8_t> be(static_cast<std::size_t>(size - 1));
    for (std::size_t i = be.size(); i-- > 0;) {
      be[i] = static_cast<std::uint8_t>(magnitude & 0xFF);
      magnitude >>= 8;
    }
    out.insert(out.end(), be.begin(), be.end());
    return;
  }
  if (IsLobWire(wire.type)) {
    if (null) {
      w.U8(0);
      return;
    }
    std::string payload = PayloadOf(column, v);
    if (payload.size() > text_size) {
      payload.resize(text_size);
    }
    w.U8(16);
    for (int i = 0; i < 16; ++i) w.U8(static_cast<std::uint8_t>(0xA0 + i));  // text pointer
    w.Zeros(8);                                                              // timestamp
    w.U32(static_cast<std::uint32_t>(payload.size()));
    w.Raw(payload);
    return;
  }
  if (IsLongWire(wire.type)) {
    std::string payload = null ? std::string() : PayloadOf(column, v);

    w.U32(static_cast<std::uint32_t>(payload.size()));
    w.Raw(payload);
    return;
  }
  if (wire.type == 0x2F || wire.type == 0x27 || wire.type == 0x2D || wire.type == 0x25) {
    std::string payload = null ? std::string() : PayloadOf(column, v);
    if (payload.size() > 255) payload.resize(255);
    w.U8(static_cast<std::uint8_t>(payload.size()));
    w.Raw(payload);
    return;
  }
  if (HasOneByteLength(wire.type)) {
    if (null) {
      w.U8(0);
      return;
    }
    w.U8(static_cast<std::uint8_t>(wire.max_length));
  }
  FixedBytes(w, column.type.kind, v);
}

void WriteRow(Bytes& out, const std::vector<ResultColumn>& columns,
              const std::vector<CellValue>& values, std::size_t text_size) {
  out.push_back(0xD1);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    WriteValue(out, columns[i], i < values.size() ? values[i] : CellValue{}, text_size);
  }
}

}  // namespace vq::ase_server
