// Library descriptions: the archive built is the one ArWriter builds from the
// members' own descriptions; bad statements name their line.
#include "tools/mkobj/zar.h"

#include <gtest/gtest.h>

#include "tools/writers/ar_writer.h"

namespace zema_test {
namespace {

const char kObjectA[] = "elf relocatable little zema1\n"
                        "section .text progbits flags=ae align=8\n"
                        "label fir func global\n"
                        "  insn done\n";
const char kObjectB[] = "elf relocatable big zema2\n"
                        "section .data progbits flags=wa\n"
                        "  byte 1 2 3\n";

Bytes object(const char *text) {
    ZobjResult r = build_zobj(text, "member.zobj");
    EXPECT_TRUE(r.ok) << r.error;
    return r.image;
}

TEST(Library, BuildsTheArchiveOfItsMembers) {
    std::string text = std::string("# a library\n"
                                   "archive symtab\n"
                                   "member filter.o defines=fir,fir2\n") +
                       kObjectA +
                       "member libold.a\n"
                       "  archive\n"
                       "  member a_member_name_of_20.o\n" +
                       kObjectB +
                       "  end\n"
                       "member NOTES text=\"not \\\"an\\\" object\"\n"
                       "member filter.o\n" +
                       kObjectB;
    ZobjResult r = build_library(text, "lib.zar");
    ASSERT_TRUE(r.ok) << r.error;

    ArWriter inner;
    inner.member("a_member_name_of_20.o", object(kObjectB));
    ArWriter outer;
    outer.with_symbol_table()
        .member("filter.o", object(kObjectA))
        .symbol("fir", 0)
        .symbol("fir2", 0)
        .member("libold.a", inner.build())
        .member("NOTES",
                Bytes{'n', 'o', 't', ' ', '"', 'a', 'n', '"', ' ', 'o', 'b', 'j', 'e', 'c', 't'})
        .member("filter.o", object(kObjectB));
    EXPECT_EQ(r.image, outer.build());
    EXPECT_TRUE(is_library_description(text));
    EXPECT_FALSE(is_library_description(kObjectA));
}

TEST(Library, BadStatementsNameTheirLine) {
    struct Case {
        std::string text, message;
    };
    const Case cases[] = {
        {"\n\nmember a.o text=x\n",
         "lib.zar:3: the first statement of a library must be 'archive'"},
        {"archive sorted\n", "lib.zar:1: unknown archive setting 'sorted'"},
        {"archive\nmember\n", "lib.zar:2: 'member' takes a name: member filter.o"},
        {"archive\nmember a.o mode=644 text=x\n", "lib.zar:2: unknown member setting 'mode=644'"},
        {"archive\nmember a.o\nmember b.o text=x\n",
         "lib.zar:2: the member has no contents: describe an object, a nested archive, or give "
         "text="},
        {"archive\nmember a.o text=x\nend\n", "lib.zar:3: 'end' without a nested archive"},
        {"archive\nmember lib.a\n  archive\n  member a.o text=x\n",
         "lib.zar:3: the archive begun here has no 'end'"},
        {"archive\nsection .text\n", "lib.zar:2: expected 'member' or 'end' in an archive, not "
                                     "'section'"},
        // A member's own description reports the line of the library description.
        {"archive\nmember a.o\n  elf zema1\n  section .text\n  insn no_such_record\n",
         "lib.zar:5: no zema1 record named 'no_such_record'"},
    };
    for (const Case &c : cases) {
        ZobjResult r = build_library(c.text, "lib.zar");
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.error, c.message) << c.text;
    }
}

} // namespace
} // namespace zema_test
