// Runs the real zema-kt and compares standard output, standard error and the
// exit status exactly.
#include <gtest/gtest.h>
#include <unistd.h>

#include "elflib/elfread.h"
#include "tests/support/elf_writer.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace {

struct Result {
    std::string out, err;
    int status;
};

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Result run(const std::string &args) {
    // Per-process capture files: the CLI tests run in parallel.
    std::string stem = testing::TempDir() + "cli_" + std::to_string(getpid());
    std::string out = stem + "_out", err = stem + "_err";
    std::string command =
        std::string(ZEMA_KT_PATH) + " " + args + " >" + out + " 2>" + err + " </dev/null";
    int status = std::system(command.c_str());
    return {slurp(out), slurp(err), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

const std::string kBanner = "Tarvex ZEMA Disassembler  Version 1.5.148 2018-02-13\n"
                            "ZEMA1/ZEMA2/ZEMA3 Disassembly Library Version 1.32\n"
                            "HDM Version MAXO1-1.68 RIXU1-1.6 MAXO2-1.42 RIXU2-1.6 MAXO3-1.33 "
                            "RIXU3-1 \n"
                            "Copyright (C) 2004-2018 Tarvex. All rights reserved.\n\n";

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
        {"-q -il4", "Warning: Default architecture is zema\n", "", 0},
        {"-q -arch ZEMA2 -ib8", "", "", 0},
        {"-il4", "Warning: Default architecture is zema\n", kBanner, 0},
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
// nor an archive; the listing itself comes from the section walk.
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

    struct Case {
        std::string args, err;
        int status;
    };
    const Case cases[] = {
        {"-q -xp " + object, "", 0},
        {"-q " + object + " -x -c", "", 0},
        {object + " -c", "", 0}, // -c after the name also drops the banner
        {"-q -arch zema3 -arch zema " + object, "", 0},
        {"-q -bmain -l0 " + object, "", 0},
        {"-q -l 1000 -x " + object, "", 0},
        {"-q " + junk, "[DIS,3,8999,-1," + junk + "] FATAL --- Error processing the archive\n", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        Result r = run(c.args);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, c.status);
    }
    EXPECT_EQ(run(object).err, kBanner);
}

} // namespace
