#pragma once
// Byte-level constants of the tracker's serial protocol. Shared by the program
// and by the simulated tracker, which otherwise has code of its own.
#include <cstdint>
#include <string_view>

namespace zd573::proto {

inline constexpr std::string_view kSetHeader = "KVS";
inline constexpr std::string_view kQueryHeader = "KVC";
inline constexpr std::string_view kReplyHeader = "KVs";
inline constexpr std::string_view kProductToken = "KestrovinZD-573";
inline constexpr std::string_view kTerminator = "*QQ!\r\n";

// Set sentence part kinds (third field).
inline constexpr char kPartOnly = '3';
inline constexpr char kPartFirst = '1';
inline constexpr char kPartMiddle = '0';
inline constexpr char kPartLast = '2';

// Log download stream.
inline constexpr std::string_view kCountPrefix = "dataCount=";
inline constexpr std::string_view kMarkerLine = "===\r\n";
inline constexpr std::uint8_t kPacketStart = 0x02;
inline constexpr std::uint8_t kPacketDollar = 0x24;
inline constexpr std::uint8_t kPacketEnd = 0x21;
inline constexpr std::uint8_t kLogPacketType = 0xA1;
inline constexpr int kPacketOverhead = 8;  // start, '$', length, type, 2 seq, check, '!'
inline constexpr int kRecordSize = 20;
inline constexpr int kMaxRecordsPerPacket = 12;

}  // namespace zd573::proto

namespace zd573::proto {

// The parameter key table: the 83 keys a full read must obtain, in the order
// in which missing keys are asked for.
inline constexpr std::string_view kTableKeys[] = {
    "B0", "B1", "F4", "F5", "F6", "F7", "O6",
    "Va", "Vb", "Vc", "Vd", "Ve", "Vf", "Vg", "Vh", "Vi", "Vj",
    "Vk", "Vl", "Vm", "Vn", "Vo", "Vp", "Vq", "Vr", "Vs", "Vt",
    "VA", "VB", "VC", "VD", "VE", "VF", "VG", "VH", "VI", "VJ",
    "VK", "VL", "VM", "VN", "VO", "VP", "VQ", "VR", "VS", "VT",
    "F0", "H2", "G0", "G1", "G2", "G3", "G4", "G5",
    "D1", "D2", "D3", "D4", "D5", "E0", "E1", "E2", "E3",
    "F8", "FB", "FE", "XB", "XC", "XD", "YB", "YC", "YD", "ZB", "ZC", "ZD",
    "O2", "OX", "F2", "XA", "YA", "ZA", "OZ"};
inline constexpr int kTableKeyCount = 83;
static_assert(sizeof(kTableKeys) / sizeof(kTableKeys[0]) == kTableKeyCount);

// The two keys outside the table: the IMEI and the device password.
inline constexpr std::string_view kImeiKey = "B2";
inline constexpr std::string_view kPasswordKey = "OU";

}  // namespace zd573::proto
