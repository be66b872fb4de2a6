// Instruction lines written from compiled templates against the clean-ups
// applied to the whole substituted line: operand texts that begin or end
// with clean-up characters, empty ones, rewritten ones and driver texts meet
// every kind of literal edge.
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "decodelib/tests/clean_up_reference.h"
#include "decodelib/tests/fixtures.h"

namespace {

using namespace zt;

std::string substituted(std::string body, const std::string &a, const std::string &b) {
    body = replace_until_gone(body, "A", a);
    return replace_until_gone(body, "B", b);
}

// Texts of field FA (none holds a pair) and FB (several do), chosen by 4 bits.
const char *const kCleanTexts[16] = {"",   "a",  "+",  "-",  ",",  ";",  "+a",  "a+",
                                     ",a", "a,", "-a", ";a", "a-", "a;", "+a,", ",a+"};
const char *const kPairTexts[16] = {"++", "+-", ",;", ",,", "a",   "+",   ",",   "a++",
                                    "",   "-+", ";,", "+;", "a,,", ",+-", "-a-", "+a+"};

class LineWriter : public FixtureTest {
  protected:
    void Install(const char *syntax, const char *name_a = "A", const char *name_b = "B") {
        for (int f = 0; f < 2; ++f) {
            FieldRecord &field = fields_[f];
            field = {};
            field.kind = 2;
            field.name = f ? "FB" : "FA";
            field.bit_count = 4;
            for (uint32_t k = 0; k < 4; ++k) field.bits[k] = 4 * f + 3 - k;
            field.entry_count = 16;
            for (uint32_t v = 0; v < 16; ++v)
                field.entries[v] = {v, f ? kPairTexts[v] : kCleanTexts[v]};
        }
        install_one_record(record_, syntax, {{name_a, "FA"}, {name_b, "FB"}}, fields_, 2);
    }
    FieldRecord fields_[2];
    InstructionRecord record_;
};

const char *const kTemplates[] = {
    "x A B", "x+A-B", "x,A;B,", "AB",   "A+B",   "x A,", "x+A",    "x A;",
    "-A+",   ",A,B;", "x[A]+B", "A++B", "x A,,", "+-A",  "x A-B-", ";A,",
};

// Literals longer than a compiled piece holds, cut at and between clean-up
// characters, holding pairs or not.
const char *const kLongTemplates[] = {
    "x A,0123456789abcd,B;",   "A-0123456789abcd-0123456789abcd+B",
    "x A,,,,,,,,,,,,,,,,,,B,", "x+A+-0123456789abcdef++B",
    "0123456789abcdefgh+A",
};

TEST_F(LineWriter, CompiledLinesMatchTheWholeLineCleanUps) {
    std::vector<const char *> syntaxes(std::begin(kTemplates), std::end(kTemplates));
    syntaxes.insert(syntaxes.end(), std::begin(kLongTemplates), std::end(kLongTemplates));
    for (const char *syntax : syntaxes) {
        Install(syntax);
        for (bool keep : {false, true}) {
            uint32_t options = keep ? OPT_RENDER | OPT_KEEP_PLUS_MINUS : OPT_RENDER;
            for (uint32_t a = 0; a < 16; ++a) {
                for (uint32_t b = 0; b < 16; ++b) {
                    std::string expected =
                        cleaned_up(substituted(syntax, kCleanTexts[a], kPairTexts[b]) + ";", keep);
                    ASSERT_EQ(decode_text(ARCH_RIXU1, 0x80000000u | b << 4 | a, options), expected)
                        << '"' << syntax << "\" a=" << a << " b=" << b << " keep=" << keep;
                }
            }
        }
    }
}

// Rewritten operand texts and driver prefixes and suffixes take part in the
// clean-ups like the rendered texts; a rewritten text holding a later
// operand's name has it replaced as well.
TEST_F(LineWriter, RewrittenTextsAndDriverTextsJoinTheCleanUps) {
    const char *const driver_texts[] = {"", "\t", "+", ",", "\t,", "-", ";"};
    const char *const rewrites[] = {"++", "+-", ",;", "",    "a",      "-",
                                    "B",  "+B", "B,", ",B+", "(x+$4)", "0123456789abcdefB"};
    for (const char *syntax : kTemplates) {
        Install(syntax);
        for (const char *rewritten : rewrites) {
            for (const char *prefix : driver_texts) {
                for (const char *suffix : driver_texts) {
                    decode(ARCH_RIXU1, 0x80000000u | 2 << 4);
                    std::snprintf(GetOperand(0, 0)->text, sizeof GetOperand(0, 0)->text, "%s",
                                  rewritten);
                    SetInstructionText(0, prefix, suffix, nullptr);
                    std::string body = substituted(syntax, rewritten, kPairTexts[2]);
                    ASSERT_EQ(packet_text(), cleaned_up(prefix + body + suffix + ";", false))
                        << '"' << syntax << "\" rewritten=\"" << rewritten << "\" prefix=\""
                        << prefix << "\" suffix=\"" << suffix << '"';
                }
            }
        }
    }
}

// Each name replaced everywhere in turn, searching on behind each inserted
// text, as the general substitution does.
std::string substituted_on(std::string body, const std::vector<std::string> &names,
                           const std::vector<std::string> &texts) {
    for (size_t j = 0; j < names.size(); ++j)
        for (size_t p = body.find(names[j]); p != std::string::npos;
             p = body.find(names[j], p + texts[j].size()))
            body.replace(p, names[j].size(), texts[j]);
    return body;
}

// With names of several characters, a rewritten text can meet a later name
// across its edges: the line is the substituted one whether or not it does.
TEST_F(LineWriter, RewrittenTextsMeetLaterNamesAcrossTheirEdges) {
    const char *const templates[] = {"op XA, YB", "op XAYB", "op XAB", "op YXA B", "XA+YB;XA"};
    const char *const rewrites[] = {"Y", "B",   "YB", "xY",     "Bx", "(.L35+$00000034)",
                                    "",  "YBY", "y",  "(.LY+B", "a,", "B)"};
    for (const char *syntax : templates) {
        Install(syntax, "XA", "YB");
        for (const char *rewritten : rewrites) {
            decode(ARCH_RIXU1, 0x80000000u | 4 << 4);
            std::snprintf(GetOperand(0, 0)->text, sizeof GetOperand(0, 0)->text, "%s", rewritten);
            std::string body = substituted_on(syntax, {"XA", "YB"}, {rewritten, kPairTexts[4]});
            ASSERT_EQ(packet_text(), cleaned_up(body + ";", false))
                << '"' << syntax << "\" rewritten=\"" << rewritten << '"';
        }
    }
}

} // namespace
