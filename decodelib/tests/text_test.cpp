// Packet text assembly, computed instruction texts and the number helpers.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "decodelib/packet_text.h"
#include "decodelib/tests/fixtures.h"

namespace {

using namespace zt;

class Text : public FixtureTest {};
class OperandText : public FixtureTest {};

// A ZEMA1 word holding one upper S instruction and nothing else.
uint64_t zema1_upper_s(const char *record, const OperandValues &values) {
    return encode(ARCH_ZEMA1, "opXSVZ", {{"opS_HI", encode(ARCH_ZEMA1, record, values)}});
}

uint64_t zema1_b(const char *record, const OperandValues &values) {
    return encode(ARCH_ZEMA1, "opXABVZ", {{"opB", encode(ARCH_ZEMA1, record, values)}});
}

uint64_t zema2_upper_s(const char *record, const OperandValues &values) {
    return encode(ARCH_ZEMA2, "opXSVZ", {{"opS_HI", encode(ARCH_ZEMA2, record, values)}});
}

uint64_t zema3_d(const char *record, const OperandValues &values) {
    return encode(ARCH_ZEMA3, "opXDZ", {{"opD", encode(ARCH_ZEMA3, record, values)}});
}

TEST_F(Text, SeparatorsAndCleanUps) {
    uint64_t nops = encode(ARCH_ZEMA1, "opXABVZ", {{"opA", 0x7fff}, {"opVs0", 1}});
    EXPECT_EQ(decode_text(ARCH_ZEMA1, nops), "nop; rd_s0_nop;");
    EXPECT_EQ(decode_text(ARCH_ZEMA1, nops, OPT_RENDER | OPT_LINE_SEPARATOR), "nop;\nrd_s0_nop;");
    EXPECT_EQ(decode_text(ARCH_ZEMA1, 0), "done;");

    uint64_t ld = encode(ARCH_RIXU1, "ld_index", {{"AA", 1}, {"IM9s", 0x1FC}});
    EXPECT_EQ(decode_text(ARCH_RIXU1, ld), "ld.index.rixu [a1]-$4;");
    EXPECT_EQ(decode_text(ARCH_RIXU1, ld, OPT_RENDER | OPT_KEEP_PLUS_MINUS),
              "ld.index.rixu [a1]+-$4;");
    uint64_t ld_plus = encode(ARCH_RIXU1, "ld_index", {{"AA", 0}, {"IM9s", 3}});
    EXPECT_EQ(decode_text(ARCH_RIXU1, ld_plus), "ld.index.rixu [a0]+$3;");

    EXPECT_EQ(decode_text(ARCH_ZEMA1, zema1_upper_s("pushm_as", {{"AS0", 1}, {"AS3", 1}})),
              "pushm as0,as3;");
    EXPECT_EQ(decode_text(ARCH_ZEMA1, zema1_upper_s("pushm_as", {{"AS1", 1}, {"AS2", 1}})),
              "pushm as1,as2;");
    EXPECT_EQ(decode_text(ARCH_ZEMA1, zema1_upper_s("set_rot", {{"ROT_MODE", 0}, {"AA", 2}})),
              "set.rot _ROT_MODE_36_, a2;");
}

TEST_F(Text, TwoSLayoutPutsTheLowerHalfFirst) {
    uint64_t upper = encode(ARCH_ZEMA1, "add_aX_aY", {{"AA", 1}, {"AM", 2}});
    uint64_t lower = encode(ARCH_ZEMA1, "set_rot", {{"ROT_MODE", 1}, {"AA", 3}});
    uint64_t w = encode(ARCH_ZEMA1, "opXSSZ",
                        {{"opX", 3}, {"opS_HI", upper}, {"opS_LO", lower}, {"opZ", 1}});
    EXPECT_EQ(decode_text(ARCH_ZEMA1, w),
              "swbreak; set.rot plain, a3;\n\tswbreak; add a1, a2; rts;");
    decode(ARCH_ZEMA1, w);
    for (uint32_t i = 0; i < GetInstructionCount(); ++i) SetInstructionText(i, "\t", "", nullptr);
    EXPECT_EQ(packet_text(), "\tswbreak; \tset.rot plain, a3;\n\t\tswbreak; \tadd a1, a2; \trts;");
}

// Driver texts of one character are kept apart from longer ones; both must
// take part in the clean-ups alike and stay valid until the next decode.
TEST_F(Text, OneCharacterDriverTextsJoinTheCleanUps) {
    struct Case {
        const char *prefix0, *suffix0, *prefix1, *replacement1, *expected;
    } cases[] = {
        {"\t", nullptr, "\t", nullptr, "\tnop; \trd_s0_nop;"},
        {",", ",", nullptr, nullptr, ",nop; rd_s0_nop;"},
        {"+", "+", "-", nullptr, "+nop+; -rd_s0_nop;"},
        {"++", ",,", "+-", nullptr, "+nop; -rd_s0_nop;"},
        {nullptr, "+", "\t", "-", "nop+; \t-;"},
        {nullptr, "", "", ";", "nop; ;;"},
        {"\xff", nullptr, "\x01", "x", "\xffnop; \x01x;"},
    };
    uint64_t nops = encode(ARCH_ZEMA1, "opXABVZ", {{"opA", 0x7fff}, {"opVs0", 1}});
    for (const Case &c : cases) {
        decode(ARCH_ZEMA1, nops);
        SetInstructionText(0, c.prefix0, c.suffix0, nullptr);
        SetInstructionText(1, c.prefix1, nullptr, c.replacement1);
        EXPECT_EQ(packet_text(), c.expected) << c.prefix0 << c.suffix0 << c.prefix1;
    }
    // One-character texts among texts that fill several arena chunks.
    decode(ARCH_ZEMA1, nops);
    std::string long_text(9000, 'L');
    SetInstructionText(0, long_text.c_str(), "\t", nullptr);
    SetInstructionText(1, "\t", long_text.c_str(), "r");
    EXPECT_EQ(packet_text(), long_text + "nop\t; \tr" + long_text + ";");
    // Texts that each fit a chunk but not together: the second opens a new
    // one and the first stays in place.
    decode(ARCH_ZEMA1, nops);
    std::string first(3000, 'a'), second(3000, 'b');
    SetInstructionText(0, "\t", first.c_str(), nullptr);
    SetInstructionText(1, "\t", second.c_str(), nullptr);
    EXPECT_EQ(packet_text(), "\tnop" + first + "; \trd_s0_nop" + second + ";");
}

// Packet texts are never cut: long driver texts on both halves of a two-S
// packet come out whole, in their places.
TEST_F(Text, LongPacketTextsAreKeptWhole) {
    decode(ARCH_ZEMA1, encode(ARCH_ZEMA1, "opXABVZ", {{"opX", 3}, {"opZ", 1}}));
    SetInstructionText(1, "<", ">", "ret_expr");
    EXPECT_EQ(packet_text(), "swbreak; <ret_expr>;");
    std::string y(5000, 'y'), z(3000, 'z');
    SetInstructionText(0, nullptr, nullptr, y.c_str());
    EXPECT_EQ(packet_text(), y + "; <ret_expr>;");

    uint64_t upper = encode(ARCH_ZEMA1, "add_aX_aY", {{"AA", 1}, {"AM", 2}});
    uint64_t lower = encode(ARCH_ZEMA1, "set_rot", {{"ROT_MODE", 1}, {"AA", 3}});
    decode(ARCH_ZEMA1, encode(ARCH_ZEMA1, "opXSSZ", {{"opS_HI", upper}, {"opS_LO", lower}}));
    ASSERT_EQ(GetInstructionCount(), 2u);
    SetInstructionText(0, y.c_str(), nullptr, nullptr);
    SetInstructionText(1, nullptr, z.c_str(), nullptr);
    std::string text = packet_text();
    EXPECT_GT(text.size(), 4096u);
    EXPECT_EQ(text, "set.rot plain, a3" + z + ";\n\t" + y + "add a1, a2;");
    const char *again = nullptr;
    FormatPacket(&again);
    EXPECT_EQ(std::strlen(again), text.size());
}

// The length of the last packet text is known, whatever its layout or size
// (the buffer grown under it included); a copy of it is not that text.
TEST_F(Text, LengthOfTheLastPacketText) {
    uint64_t upper = encode(ARCH_ZEMA1, "add_aX_aY", {{"AA", 1}, {"AM", 2}});
    uint64_t lower = encode(ARCH_ZEMA1, "set_rot", {{"ROT_MODE", 1}, {"AA", 3}});
    uint64_t two_s = encode(ARCH_ZEMA1, "opXSSZ", {{"opS_HI", upper}, {"opS_LO", lower}});
    uint64_t nops = encode(ARCH_ZEMA1, "opXABVZ", {{"opA", 0x7fff}, {"opVs0", 1}});
    uint64_t ld = encode(ARCH_RIXU1, "ld_index", {{"AA", 1}, {"IM9s", 0x1FC}});
    const struct {
        uint32_t arch;
        uint64_t word;
        size_t driver_text; // characters of the first instruction's prefix
    } cases[] = {{ARCH_ZEMA1, nops, 0},     {ARCH_ZEMA1, two_s, 0}, {ARCH_ZEMA1, two_s, 9000},
                 {ARCH_ZEMA1, nops, 20000}, {ARCH_RIXU1, ld, 0},    {ARCH_ZEMA1, 0, 1}};
    for (const auto &c : cases) {
        decode(c.arch, c.word);
        std::string prefix(c.driver_text, 'p');
        if (c.driver_text) SetInstructionText(0, prefix.c_str(), nullptr, nullptr);
        const char *text = nullptr;
        FormatPacket(&text);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(PacketTextLength(text), std::strlen(text)) << text;
        std::string copy = text;
        EXPECT_EQ(PacketTextLength(copy.c_str()), SIZE_MAX);
        EXPECT_EQ(PacketTextLength(text + 1), SIZE_MAX);
    }
    // Nothing decoded: the empty text.
    DecodeInstruction(nullptr, 0, OPT_RENDER, ARCH_ZEMA1, 64);
    const char *text = nullptr;
    FormatPacket(&text);
    EXPECT_EQ(PacketTextLength(text), 0u);
}

// The upper half of a two-S packet follows the lower one after a line break
// and a tab: no clean-up reaches across them, and the upper half's first
// line goes without a separator, as a line of its own.
TEST_F(Text, TwoSHalvesAreCleanedApart) {
    uint64_t upper = encode(ARCH_ZEMA1, "add_aX_aY", {{"AA", 1}, {"AM", 2}});
    uint64_t lower = encode(ARCH_ZEMA1, "set_rot", {{"ROT_MODE", 1}, {"AA", 3}});
    uint64_t word = encode(ARCH_ZEMA1, "opXSSZ", {{"opS_HI", upper}, {"opS_LO", lower}});
    struct Texts {
        const char *prefix, *suffix, *replacement;
    };
    const struct {
        Texts upper, lower;
        const char *expected;
    } cases[] = {
        {{nullptr, nullptr, ""}, {}, "set.rot plain, a3;\n\t;"},
        {{",", nullptr, nullptr}, {}, "set.rot plain, a3;\n\t,add a1, a2;"},
        {{"+-", nullptr, nullptr}, {}, "set.rot plain, a3;\n\t-add a1, a2;"},
        {{";", ",", nullptr}, {nullptr, ",", nullptr}, "set.rot plain, a3;\n\t;add a1, a2;"},
        {{"-", nullptr, nullptr}, {nullptr, "+", nullptr}, "set.rot plain, a3+;\n\t-add a1, a2;"},
        {{nullptr, nullptr, ",x"}, {nullptr, nullptr, ",,"}, ";\n\t,x;"},
        {{"\t", nullptr, nullptr}, {nullptr, nullptr, ""}, ";\n\t\tadd a1, a2;"},
    };
    for (const auto &c : cases) {
        decode(ARCH_ZEMA1, word);
        ASSERT_EQ(GetInstructionCount(), 2u);
        SetInstructionText(0, c.upper.prefix, c.upper.suffix, c.upper.replacement);
        SetInstructionText(1, c.lower.prefix, c.lower.suffix, c.lower.replacement);
        EXPECT_EQ(packet_text(), c.expected) << c.expected;
    }
}

// Driver texts of every size, packet after packet: texts that fill or
// overflow the kept storage, and the short ones after the storage made for
// a long text is let go, all come out whole.
TEST_F(Text, DriverTextsOfEverySizeOverSeveralPackets) {
    uint64_t upper = encode(ARCH_ZEMA1, "add_aX_aY", {{"AA", 1}, {"AM", 2}});
    uint64_t lower = encode(ARCH_ZEMA1, "set_rot", {{"ROT_MODE", 1}, {"AA", 3}});
    uint64_t word = encode(ARCH_ZEMA1, "opXSSZ", {{"opS_HI", upper}, {"opS_LO", lower}});
    const struct {
        size_t prefix, suffix;
    } packets[] = {{2, 3},    {4000, 200}, {90, 4095}, {5000, 5000}, {2, 3},
                   {4096, 1}, {1, 4096},   {0, 0},     {300, 7}};
    for (const auto &p : packets) {
        decode(ARCH_ZEMA1, word);
        ASSERT_EQ(GetInstructionCount(), 2u);
        std::string y(p.prefix, 'y'), z(p.suffix, 'z');
        SetInstructionText(0, y.c_str(), nullptr, nullptr);
        SetInstructionText(1, nullptr, z.c_str(), nullptr);
        EXPECT_EQ(packet_text(), "set.rot plain, a3" + z + ";\n\t" + y + "add a1, a2;")
            << p.prefix << " " << p.suffix;
    }
}

// A field text longer than the operand record's buffer is kept whole beside
// it, for the packet text and for the driver.
TEST_F(OperandText, LongFieldTextsAreKeptWhole) {
    static const std::string longest(300, 'R');
    static FieldRecord field = {};
    field.kind = 2;
    field.name = "REG_imp_bits__1_0_";
    field.bit_count = 2;
    field.bits[0] = 1, field.bits[1] = 0;
    field.entry_count = 2;
    field.entries[0] = {0, "r0"};
    field.entries[1] = {1, longest.c_str()};
    static InstructionRecord record;
    install_one_record(record, "x REG", {{"REG", "REG_imp_bits__1_0_"}}, &field, 1);
    struct Case {
        uint64_t word;
        std::string text;
    } cases[] = {{0x80000000, "r0"}, {0x80000001, std::string(300, 'r')}, {0x80000000, "r0"}};
    for (const Case &c : cases) {
        EXPECT_EQ(decode_text(ARCH_RIXU1, c.word), "x " + c.text + ";");
        const OperandRecord *op = GetOperand(0, 0);
        ASSERT_NE(op, nullptr);
        EXPECT_EQ(op->long_text ? std::string(op->long_text) : std::string(op->text), c.text);
        EXPECT_EQ(std::strlen(op->text), std::min<size_t>(c.text.size(), 127));
    }
}

TEST_F(Text, DriverRewrittenOperandTextsAreUsed) {
    decode(ARCH_ZEMA1, encode(ARCH_ZEMA1, "add_aX_Is17", {{"AA", 0}, {"IM17sR13", 4}}));
    std::snprintf(GetOperand(0, 1)->text, sizeof GetOperand(0, 1)->text, "%s", "(_main+$00000004)");
    EXPECT_EQ(packet_text(), "add a0, (_main+$00000004);");
    decode(ARCH_ZEMA1, zema1_b("set_loop_I", {{"ITER_CNT", 0}}));
    std::snprintf(GetOperand(0, 0)->text, sizeof GetOperand(0, 0)->text, "%s", "$10");
    EXPECT_EQ(packet_text(), "set.loop $11;");
}

// A relocation expression too long for the text buffer is kept beside it; the
// computed texts read it as they would read it in the buffer.
TEST_F(Text, ComputedTextsReadTheLongText) {
    std::string expression = "(" + std::string(200, 'x') + ")";
    decode(ARCH_ZEMA1, zema1_upper_s("set_loop_asX_I", {{"AS", 5}, {"LOOP_SIZE_R10", 9}}));
    OperandRecord *size = GetOperand(0, 1);
    ASSERT_STREQ(size->syntax_name, "LOOP_SIZE_R10");
    size->long_text = expression.c_str();
    EXPECT_EQ(packet_text(), "set.loop as5, $1;"); // not the $a of the text buffer
    decode(ARCH_RIXU1, encode(ARCH_RIXU1, "set_loop", {{"SET_LOOP_INDEX", 1}, {"IM8", 0xF}}));
    for (uint32_t j = 0; j < GetOperandCount(0); ++j)
        if (std::strcmp(GetOperand(0, j)->syntax_name, "SET_LOOP_INDEX") == 0)
            GetOperand(0, j)->long_text = expression.c_str();
    EXPECT_EQ(packet_text(), "set.loop " + expression + ", $10;");
}

TEST_F(Text, UnterminatedOperandTextIsReadWithinItsBuffer) {
    decode(ARCH_ZEMA1, encode(ARCH_ZEMA1, "opXABVZ",
                              {{"opB", encode(ARCH_ZEMA1, "set_loop_I", {{"ITER_CNT", 0}})}}));
    std::memset(GetOperand(0, 0)->text, '1', sizeof GetOperand(0, 0)->text);
    std::string text = packet_text();
    EXPECT_EQ(text.substr(0, 9), "set.loop ");
    EXPECT_LT(text.size(), 60u);
    decode(ARCH_ZEMA1, encode(ARCH_ZEMA1, "add_aX_Is17", {{"AA", 0}}));
    std::memset(GetOperand(0, 1)->text, 'z', sizeof GetOperand(0, 1)->text);
    EXPECT_EQ(packet_text(), "add a0, " + std::string(128, 'z') + ";");
}

TEST_F(Text, SpecialRenderings) {
    const uint32_t dec = OPT_RENDER | OPT_DECIMAL;
    struct Case {
        const char *what;
        uint32_t arch;
        uint64_t word;
        uint32_t options;
        uint8_t au_count;
        const char *want;
    } cases[] = {
        {"loop count", 1, zema1_b("set_loop_I", {{"ITER_CNT", 0x3F}}), OPT_RENDER, 64,
         "set.loop $40;"},
        {"loop count decimal", 1, zema1_b("set_loop_I", {{"ITER_CNT", 0x3F}}), dec, 64,
         "set.loop 64;"},
        {"loop count and size", 1,
         zema1_upper_s("set_loop_I_I", {{"ITER_CNT", 1}, {"LOOP_SIZE_R10", 0xF}}), OPT_RENDER, 64,
         "set.loop $2, $10;"},
        {"loop register and size", 1,
         zema1_upper_s("set_loop_asX_I", {{"AS", 5}, {"LOOP_SIZE_R10", 9}}), OPT_RENDER, 64,
         "set.loop as5, $a;"},
        {"nco negative", 1,
         zema1_upper_s("set_nco",
                       {{"NCO_MODE", 1}, {"NCO_K", 2}, {"NCO_NEG_POS", 0}, {"NCO_FREQ", 0x100}}),
         OPT_RENDER, 64, "set.nco cos, +$2, -$100;"},
        {"nco positive", 1, zema1_upper_s("set_nco", {{"NCO_NEG_POS", 1}, {"NCO_FREQ", 0x100}}),
         OPT_RENDER, 64, "set.nco sin, +$0, $100;"},
        {"nco zero frequency", 1, zema1_upper_s("set_nco", {{"NCO_NEG_POS", 0}, {"NCO_FREQ", 0}}),
         OPT_RENDER, 64, "set.nco sin, +$0, $40000000;"},
        {"nco zero frequency, negative", 1,
         zema1_upper_s("set_nco", {{"NCO_NEG_POS", 1}, {"NCO_FREQ", 0}}), OPT_RENDER, 64,
         "set.nco sin, +$0, $0;"},
        {"xtrm line", 1, zema1_upper_s("set_xtrm", {{"IM4", 3}, {"LINE1b", 1}, {"MIN1b", 1}}),
         OPT_RENDER, 64, "set.xtrm signed, min, odd, $200;"},
        {"xtrm no line", 1, zema1_upper_s("set_xtrm", {{"IM4", 3}, {"LINE1b", 0}}), OPT_RENDER, 64,
         "set.xtrm signed, max, odd, $8;"},
        {"range wide core", 1, zema1_upper_s("set_range1_rS0_Iu22", {{"IM22", 0x3FFFFF}}),
         OPT_RENDER, 64, "set.VRArange1 rS0, $7ff, $7ff;"},
        {"range small core", 1, zema1_upper_s("set_range1_rS0_Iu22", {{"IM22", 0x3FFFFF}}),
         OPT_RENDER, 16, "set.VRArange1 rS0, $1ff, $1ff;"},
        {"store multiple", 2, encode(2, "stm_sp_Is16_m32", {{"MASK_32", 0x1001}}), OPT_RENDER, 64,
         "stm [sp], a0, g0;"},
        {"store multiple below sp", 2,
         encode(2, "stm_sp_Is16_m32", {{"MASK_32", 0x1001}, {"Is16", 0xFFF8}}), OPT_RENDER, 64,
         "stm [sp-$8], a0, g0;"},
        {"store multiple short", 2, encode(2, "stm_sp_Is10_m5", {{"MASK_5", 0x19}, {"Is10", 4}}),
         OPT_RENDER, 64, "stm [sp+$4], rSt, rS1, rS0;"},
        {"load multiple", 2, encode(2, "ldm_sp_Is16_m32", {{"MASK_32", 0x2002}, {"Is16", 0x10}}),
         OPT_RENDER, 64, "ldm a1, g1, [sp+$10];"},
        {"load multiple decimal", 2,
         encode(2, "ldm_sp_Is16_m32", {{"MASK_32", 0x80000800}, {"Is16", 0x10}}), dec, 64,
         "ldm a19, g11, [sp+16];"},
        {"load multiple short", 2, encode(2, "ldm_sp_Is10_m5", {{"MASK_5", 0x6}}), OPT_RENDER, 64,
         "ldm rV, rS2, [sp];"},
        {"loop iterations and size", 2,
         encode(2, "set_loop_ITER_INSTR", {{"C_ITER_CNT", 9}, {"C_INSTR_CNT", 0}}), OPT_RENDER, 64,
         "set.loop $a, $1;"},
        {"C loop register", 2,
         zema2_upper_s("setC_loop_agX_INSTR", {{"AXG", 13}, {"C_INSTR_CNT", 1}}), OPT_RENDER, 64,
         "setC.loop a1, $2;"},
        {"B loop register", 2,
         zema2_upper_s("setB_loop_agX_INSTR", {{"AXG", 2}, {"B_INSTR_CNT", 2}}), OPT_RENDER, 64,
         "setB.loop g2, $3;"},
        {"C loop count", 2, zema2_upper_s("setC_loop_ITER", {{"C_ITER_CNT", 0xFFFF}}), OPT_RENDER,
         64, "setC.loop $10000;"},
        {"B loop count", 2, zema2_upper_s("setB_loop_Iu11", {{"C_ITER_CNT_SHORT", 4}}), OPT_RENDER,
         64, "setB.loop $5;"},
        {"xtrm with index", 2,
         zema2_upper_s("set_xtrm", {{"Iu6", 2}, {"B_line", 1}, {"XTRM_VALUE_INDEX", 3}}),
         OPT_RENDER, 8, "set.xtrm signed, max, odd, +$3, $30;"},
        {"xtrm without line", 2, zema2_upper_s("set_xtrm", {{"Iu6", 5}, {"B_line", 0}}), dec, 8,
         "set.xtrm signed, max, odd, +0, 32;"},
        {"push upper registers", 3, zema3_d("pushm_ag_impl", {{"BIT_AREGS", 1}, {"MASK_16", 3}}),
         OPT_RENDER, 64, "pushm a4, a5;"},
        {"push low registers", 3, zema3_d("pushm_ag_impl", {{"BIT_AREGS", 0}, {"MASK_16", 0x1001}}),
         OPT_RENDER, 64, "pushm a0, g0;"},
        {"pop", 3, zema3_d("popm_ag_impl", {{"BIT_AREGS", 0}, {"MASK_16", 0x8800}}), OPT_RENDER, 64,
         "popm a3, g11;"},
        {"pop nothing", 3, zema3_d("popm_ag_impl", {{"BIT_AREGS", 1}, {"MASK_16", 0}}), OPT_RENDER,
         64, "popm;"},
        {"xtrm line operand of another name", 3, zema3_d("set_xtrm", {{"Iu6", 1}}), OPT_RENDER, 64,
         "set.xtrm signed, max, odd, +$0, (xtrm_N_fun ( +$0 , +$1 ));"},
        {"store multiple of other operands", 3, zema3_d("stm_rag", {{"MASK_RAG", 1}}), OPT_RENDER,
         64, "stm [sp+$0], +$1;"},
        {"rixu loop", 4, encode(4, "set_loop", {{"SET_LOOP_INDEX", 1}, {"IM8", 0xF}}), OPT_RENDER,
         64, "set.loop +$1, $10;"},
        {"rixu range", 4,
         encode(4, "set_range_aY_asA_Iu17", {{"AA", 1}, {"AS", 2}, {"IM17", 0x1FFFF}}), OPT_RENDER,
         64, "set.range a1, as2, $20000;"},
        {"rixu3 loop", 6, encode(4, "set_loop", {{"IM8", 0}}), OPT_RENDER, 64, "set.loop +$0, $1;"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(decode_text(c.arch, c.word, c.options, c.au_count), c.want) << c.what;
}

TEST(Numbers, ParseNumber) {
    struct Case {
        const char *text;
        int64_t want;
    } cases[] = {{"-$10", -16}, {"+$1F", 31}, {"$ff", 255},      {"$", 0},
                 {"42", 42},    {"-7", -7},   {"+65535", 65535}, {"", 0},
                 {"a0", 0},     {"-$", 0},    {"(x)", 0},        {"$7fffffffffffffff", INT64_MAX}};
    for (const Case &c : cases) EXPECT_EQ(ParseNumber(c.text), c.want) << c.text;
    EXPECT_EQ(ParseNumber(nullptr), 0);
}

TEST(Numbers, FormatNumber) {
    struct Case {
        int64_t value;
        uint32_t options;
        const char *want;
    } cases[] = {{-256, 0, "-$100"},
                 {256, 0, "$100"},
                 {0, 0, "$0"},
                 {-1, OPT_DECIMAL, "-1"},
                 {64, OPT_DECIMAL, "64"},
                 {INT64_MIN, 0, "-$8000000000000000"},
                 {INT64_MIN, OPT_DECIMAL, "-9223372036854775808"}};
    for (const Case &c : cases) EXPECT_EQ(FormatNumber(c.value, c.options), c.want) << c.value;
}

} // namespace
