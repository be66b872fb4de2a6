// Runs the real zema-kt and compares standard output, standard error and the
// exit status exactly.
#include <gtest/gtest.h>

#include "elflib/elfread.h"
#include "tests/cli/cli_run.h"
#include "tools/writers/elf_writer.h"
#include "tools/writers/lod_writer.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using zema_cli::Result;
using zema_cli::run;

const std::string kBanner = "Tarvex ZEMA Disassembler  Version 1.5.148 2018-02-13\n"
                            "ZEMA1/ZEMA2/ZEMA3 Disassembly Library Version 1.32\n"
                            "HDM Version MAXO1-1.68 RIXU1-1.6 MAXO2-1.42 RIXU2-1.6 MAXO3-1.33 "
                            "RIXU3-1 \n"
                            "Copyright (C) 2004-2018 Tarvex. All rights reserved.\n\n";

const std::string kPrompt = "Enter hex opcodes (<return> to exit):";

const std::string kUsage =
    kBanner +
    "Usage: zema-kt [-d] [-f] [-k<file>] [-i{l|b}{X}] [-l<hex address>] [-h<hex address>] [-j] "
    "[-m] [-n] [-p] [-r{i}] [-q] [-s] [-x] [-u] [-v] [-w] [-z] <srcfile>\n"
    "where:\n"
    "  -d  treat input file as memory dump (.lod file)\n"
    "  -b<label>  start at label   -e<label>  end at label\n"
    "  -f  print loop_end          -j do not disassemble BSS sections\n"
    "  -i{l|b}{X}  use interactive mode \n\t{l|b} specifies endianness of the input string "
    "\n\tX can be 2|4|8|16|32|64 and represents the number of AUs\n"
    "  -l<addr>  start at address  -h<addr>  end at address\n"
    "  -k<file>  config file       -p  suppress Pc display\n"
    "  -q  suppress banner         -s  suppress label and header display\n"
    "  -u  ignore relocation information\n"
    "  -v  version                 -x  display hex codification mixed with assembly\n"
    "  -z  display statistics      -n  display the unmangle C++ name \n"
    "  -w  do not output local symbols when processing .eld files\n"
    "  -t  do not disassemble data sections -m suppress mapper labels\n"
    "  <srcfil>  assembled source file\n";

const std::string kFatal = "[DIS,3,8999,-1] FATAL --- ";
const std::string kAu = "Please specify the number of AU's for -i[l|b][2|4|8|16|32|64]\n";

TEST(Cli, Runs) {
    struct Case {
        std::string args, out, err;
        int status;
    };
    const Case cases[] = {
        {"", kUsage, "", 1},
        {"-y f.eld", "[DIS,3,8001,-1] ERROR --- zema-kt: Illegal command line option: -y\n", "", 1},
        {"-c f.eld", "[DIS,3,8001,-1] ERROR --- zema-kt: Illegal command line option: -c\n", "", 1},
        {"-ARCH zema f.eld", "[DIS,3,8001,-1] ERROR --- zema-kt: Illegal command line option: -A\n",
         "", 1},
        {"-q", "[DIS,3,8001,-1] ERROR --- zema-kt: Cannot open source file\n", "", 1},
        {"-q /nonexistent.eld", "",
         "[DIS,2,8000,-1]fopen(\"/nonexistent.eld\",\"rb\") details : No such file or "
         "directory\n",
         1},
        {"/nonexistent.eld -c", "",
         "[DIS,2,8000,-1]fopen(\"/nonexistent.eld\",\"rb\") details : No such file or "
         "directory\n",
         1},
        {"-q -arch", "",
         kFatal + "Missing option. Valid options for -arch: zema, zema2, zema3, rixu, rixu2, rixu3",
         1},
        {"-q -arch zema9 f", "",
         kFatal + "Invalid architecture. Valid architectures are: zema, zema2, zema3, rixu, "
                  "rixu2, rixu3",
         1},
        {"-q -l 1000 f.eld", "", kFatal + "No low address specified\n", 1},
        {"-q -l0x10 f.eld", "", kFatal + "Low address should be hexa\n", 1},
        {"-q -bmain -l100 f.eld", "",
         "[DIS,3,8999,-1,f.eld] FATAL --- Labels and addresses in the same invocation line are "
         "forbiden\n",
         1},
        {"-q -i", "", kFatal + kAu, 1},
        {"-q -il3", "", kFatal + kAu, 1},
        {"-q -iq4", "", kFatal + "Please specify the endianness for -i[l|b][X]\n", 1},
        {"-q -il4", "Warning: Default architecture is zema\n" + kPrompt, "", 0},
        {"-q -arch ZEMA2 -ib8", kPrompt, "", 0},
        {"-il4", "Warning: Default architecture is zema\n" + kPrompt, kBanner, 0},
        {"-q -d -il4", "", "[DIS,2,8000,-1]fopen(\"(null)\",\"rb\") : Bad address\n", 1},
        {"-q -k/nonexistent.cfg f.eld", "",
         "[DIS,2,8000,-1]fopen(\"/nonexistent.cfg\",\"r\") details : No such file or "
         "directory\n",
         1},
        // An empty configuration file counts as none: the run gets as far as the input.
        {"-q -k/dev/null -bx f.eld", "",
         "[DIS,2,8000,-1]fopen(\"f.eld\",\"rb\") details : No such file or directory\n", 1},
        {"-q -d f.lod", "",
         "[DIS,2,8000,-1]fopen(\"f.lod\",\"rb\") details : No such file or directory\n", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        Result r = run(c.args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, c.status);
    }
}

} // namespace

namespace {

// Runs on a small valid object file and on a file that is neither an object
// nor an archive.
TEST(Cli, ObjectFileRuns) {
    std::string object = testing::TempDir() + "cli_prog.eld";
    zema_test::ElfWriter w;
    w.flags(0x0402); // zema2, 16 units
    uint32_t text = w.section(".text")
                        .type(SHT_PROGBITS)
                        .flags(SHF_ALLOC | SHF_EXECINSTR)
                        .data({0, 1, 2, 3, 4, 5, 6, 7})
                        .index();
    w.symbol("main").value(0).shndx(text).bind(STB_GLOBAL);
    w.write_file(object);
    std::string junk = testing::TempDir() + "cli_junk.bin";
    FILE *f = fopen(junk.c_str(), "wb");
    fputs("not an object\n", f);
    fclose(f);

    const std::string equates = "#Global EQUs\n#Local EQUs\n\n";
    const std::string head = equates + "\t.section .text, \"ae\", @progbits\n\t\t.global\tmain\n";
    const std::string packet = "\t\tadd.gt g0, +$50403020;\n";
    const std::string listing = head + "#00000000:\nmain\n" + packet + "#00000008:\n\n";
    struct Case {
        std::string args, out, err;
        int status;
    };
    const Case cases[] = {
        // -xp is -x alone: only the first letter counts.
        {"-q -xp " + object,
         head + "#00000000:\n\t0706 0504 0302 0100 \nmain\n" + packet + "#00000008:\n\n", "", 0},
        // -c after the name drops hex, program counter, labels and the banner.
        {"-q " + object + " -x -c", packet + "\n", "", 0},
        {object + " -c", packet + "\n", "", 0},
        {"-q -arch zema3 -arch zema " + object, listing, "", 0},
        {"-q -bmain -l0 " + object, listing, "", 0},
        {"-q -l 1000 -x " + object, equates, "", 0},
        {"-q " + junk, "", "[DIS,3,8999,-1," + junk + "] FATAL --- Error processing the archive\n",
         1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        Result r = run(c.args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, c.status);
    }
    EXPECT_EQ(run(object).err, kBanner);
}

// The listed pages of a large code section go back to the system, but not
// those of a code section that is also the file's section-name table: the
// section line of the next section still reads its name there.
TEST(Cli, CodeSectionHoldingNamesIsKept) {
    std::string object = testing::TempDir() + "cli_names.eld";
    std::vector<uint8_t> code(5 << 20);
    for (size_t i = 0; i < code.size(); i++) code[i] = i % 16 == 15 ? 0 : 'z';
    zema_test::ElfWriter w;
    w.flags(0x0402);
    uint32_t text =
        w.section(".text").type(SHT_PROGBITS).flags(SHF_ALLOC | SHF_EXECINSTR).data(code).index();
    // Unlisted sections with long names put the name of .data past the
    // first pages of the table.
    for (int k = 0; k < 100; k++)
        w.section(".note." + std::string(60, 'a') + std::to_string(k)).type(SHT_PROGBITS).data({0});
    w.section(".data").type(SHT_PROGBITS).flags(SHF_ALLOC | SHF_WRITE).data({1, 2, 3, 4});
    w.shstrndx(uint16_t(text));
    w.write_file(object);
    Result r = run("-q " + object);
    EXPECT_EQ(r.status, 0);
    size_t lines = 0;
    for (size_t at = 0; (at = r.out.find("\t.section z", at)) != std::string::npos; at++) lines++;
    EXPECT_EQ(lines, 2u);
}

// A listing that cannot be written (here to a full device) fails the run
// instead of ending it as a success with nothing listed.
TEST(Cli, UnwritableListingFails) {
    std::string object = testing::TempDir() + "cli_full.eld";
    zema_test::ElfWriter w;
    w.flags(0x0402);
    w.section(".text")
        .type(SHT_PROGBITS)
        .flags(SHF_ALLOC | SHF_EXECINSTR)
        .data({0, 1, 2, 3, 4, 5, 6, 7});
    w.write_file(object);
    // A section long enough that its listing is written out while it is
    // being listed.
    std::string large = testing::TempDir() + "cli_full_large.eld";
    zema_test::ElfWriter l;
    l.flags(0x0402);
    std::vector<uint8_t> code(1 << 17);
    for (size_t i = 0; i < code.size(); i++) code[i] = uint8_t(i * 13 + 5);
    l.section(".text").type(SHT_PROGBITS).flags(SHF_ALLOC | SHF_EXECINSTR).data(code);
    l.write_file(large);
    std::string err = testing::TempDir() + "cli_full_" + std::to_string(getpid()) + "_err";
    const std::string message = "FATAL --- Cannot write the listing\n";
    struct Case {
        std::string args, input, err;
    };
    const Case cases[] = {
        {"-q " + object, "/dev/null", "[DIS,3,8999,-1," + object + "] " + message},
        {"-q -x " + object, "/dev/null", "[DIS,3,8999,-1," + object + "] " + message},
        {"-q " + large, "/dev/null", "[DIS,3,8999,-1," + large + "] " + message},
        // The prompts of a dialogue are written too.
        {"-q -ib8", "/dev/null", "[DIS,3,8999,-1] " + message},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        std::string command =
            std::string(ZEMA_KT_PATH) + " " + c.args + " >/dev/full 2>" + err + " <" + c.input;
        int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
        EXPECT_EQ(zema_cli::slurp(err), c.err);
    }
}

} // namespace

namespace {

// Typed words: parsing, byte order, prompts and the end of the dialogue.
TEST(Cli, InteractiveLines) {
    const std::string warn = "Warning: Default architecture is zema\n";
    const std::string fatal = "[DIS,3,8999,-1] FATAL --- Invalid character found in the input "
                              "string.\n";
    struct Case {
        std::string args, input, out, err;
        int status;
    };
    const Case cases[] = {
        // Digits pair up from the left; a lone digit is a byte of its own.
        {"-q -ib8", "1234\n",
         warn + kPrompt + "#00000000:\n\t\t.byte $12,$34\n#00000002:\n\n" + kPrompt, "", 0},
        {"-q -ib8", "1 2\n\n",
         warn + kPrompt + "#00000000:\n\t\t.byte $01,$02\n#00000002:\n\n" + kPrompt, "", 0},
        {"-q -ib8 -p", "123\n", warn + kPrompt + "\t\t.byte $12,$03\n\n" + kPrompt, "", 0},
        // A partial group of a little-endian line is filled with zeros, then reversed.
        {"-q -il8 -p", "0102\n", warn + kPrompt + "\t\t.byte $00,$00\n\n" + kPrompt, "", 0},
        // Blanks only: nothing to list, the prompt comes again.
        {"-q -il8", "   \n\n", warn + kPrompt + kPrompt, "", 0},
        // A last line without its line end is not listed.
        {"-q -il8", "1234", warn + kPrompt, "", 0},
        {"-q -il8", "12,34\n", warn + kPrompt, fatal, 1},
        {"-q -il8", "12g4\n", warn + kPrompt, fatal, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args + " <<< " + c.input);
        Result r = run(c.args, c.input);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, c.status);
    }
}

// A big-endian line lists the same packets as its byte-reversed
// little-endian twin, upper-case digits as lower-case ones, and a line far
// longer than a terminal line is listed whole.
TEST(Cli, InteractiveByteOrders) {
    const std::string word = "0123456789abcdef", reversed = "efcdab8967452301";
    for (const char *arch : {"zema", "zema2", "zema3", "rixu", "rixu3"}) {
        SCOPED_TRACE(arch);
        std::string a = std::string("-q -x -arch ") + arch;
        Result big = run(a + " -ib8", word + "\n");
        EXPECT_EQ(big.status, 0);
        EXPECT_EQ(big.out, run(a + " -il8", reversed + "\n").out);
        EXPECT_EQ(big.out, run(a + " -ib8", "0123456789ABCDEF\n").out);
    }
    std::string line;
    for (int i = 0; i < 20; i++) line += word + " ";
    Result r = run("-q -arch zema -ib8", line + "\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("#00000098:\n"), std::string::npos);
    EXPECT_NE(r.out.find("#000000a0:\n\n"), std::string::npos);
}

} // namespace

namespace {

// Each typed line is a buffer of its own: its statistics start from zero and
// follow its listing.
TEST(Cli, InteractiveStatisticsPerLine) {
    auto report = [](int packets, int micro, int nops, const char *nop_share, int invalid,
                     const char *invalid_share) {
        char text[512];
        snprintf(text, sizeof text,
                 "\n------------------------------------------------------\n"
                 "  General statistics:\n"
                 "    No of packets:                       %6d\n"
                 "    No of microinstructions:             %6d\n"
                 "\n  Nop statistics:\n"
                 "    No of nops:                          %6d %s\n"
                 "\n  Invalid instructions statistics:\n"
                 "    No of invalid instructions:          %6d %s\n",
                 packets, micro, nops, nop_share, invalid, invalid_share);
        return std::string(text);
    };
    // Little-endian groups of 8 bytes: two RIXU words each, the second
    // line's second word 0x1f000000 does not decode.
    Result r = run("-q -p -z -arch rixu -il8", "0000000000000000\n1f00000000000000\n\n");
    EXPECT_EQ(r.out, kPrompt + "\tnop;\n\tnop;\n" + report(2, 2, 2, "100%", 0, "  0%") + "\n" +
                         kPrompt + "\tnop;\n\tINVALID;\n" + report(2, 1, 1, "100%", 1, "100%") +
                         "\n" + kPrompt);
    EXPECT_EQ(r.status, 0);
}

} // namespace

namespace {

std::string write_temp(const std::string &name, const std::string &text) {
    std::string path = testing::TempDir() + "cli_" + std::to_string(getpid()) + "_" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// Dumps that are not text and configuration tokens of any length end in a
// diagnostic or a listing, never in a crash or a cut listing.
TEST(Cli, DumpsOfAnyBytes) {
    std::string all_bytes, nuls(100, '\0');
    for (int i = 0; i < 1024; i++) all_bytes += static_cast<char>(i);
    zema_test::LodWriter words; // fnop; rts three times: addresses 0 to $17
    words.bytes(
        {1, 0, 0, 0, 0, 0, 0xF0, 0x0F, 1, 0, 0, 0, 0, 0, 0xF0, 0x0F, 1, 0, 0, 0, 0, 0, 0xF0, 0x0F});
    std::string lod = write_temp("words.lod", words.text());
    std::string long_name(100000, 'x');
    struct Case {
        std::string dump, config, out_start, err;
        int status;
    };
    const Case cases[] = {
        {all_bytes, "", "", "Line too long\n", 1},
        {nuls, "", "", "Line too long\n", 1},
        {std::string(30, '\0') + "\n" + nuls.substr(0, 25) + "\n", "", "", "Line too long\n", 1},
        {std::string("\0\0\n", 3) + std::string(25, '\0') + "\n", "", "",
         "Line 2 has 26 characters but not eight hexadecimal values\n", 1},
        {std::string("\0\0\n\0\n", 5), "", "", "Buffer length should be greater than 0\n", 1},
        {"", "l0 " + long_name + "\n", "",
         "Invalid option specified in config file: " + long_name + "\n", 1},
        {"", "l" + std::string(5000, '0') + "8 h" + std::string(5000, 'f'),
         "-----------------------------------------\nDisassembling from $00000008 to "
         "$00000017:\n#00000008:\n",
         "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.err);
        std::string dump = c.dump.empty() ? lod : write_temp("any.lod", c.dump);
        std::string k = c.config.empty() ? "" : " -k" + write_temp("any.k", c.config);
        Result r = run("-q -d -arch zema2" + k + " " + dump);
        EXPECT_EQ(r.out.substr(0, c.out_start.size()), c.out_start);
        EXPECT_EQ(r.err, c.err.empty() ? "" : "[DIS,3,8999,-1," + dump + "] FATAL --- " + c.err);
        EXPECT_EQ(r.status, c.status);
    }
    // A directory as the dump or as the -k file fails as a read: neither its
    // size nor its lack of tokens mean anything.
    for (std::string args : {" ", " -k"}) {
        Result r = run("-q -d -arch zema2" + args + testing::TempDir() + " " + lod);
        EXPECT_EQ(r.err.substr(0, 32), "[DIS,2,8000,-1]kl_fread failed\n ") << args;
        EXPECT_EQ(r.status, 1) << args;
    }
}

} // namespace
