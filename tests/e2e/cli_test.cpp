// End-to-end: the real kelvora binary on image, feature-list and command files made here,
// checking standard output, exit status, file names and picture bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "support/nifti_files.h"
#include "support/process.h"

namespace {

const char kUsage[] =
    "Mirandel v1.1\n"
    "Usage 1: kelvora <input image> <x>  <y>  <z>  <scale> <output_code>\n"
    "  <input image>: nifti (.nii,.hdr).\n"
    "  <x>  <y>  <z>  <scale>: four numbers, feature information.\n"
    "  <output_code>: name code appended to output image.\n"
    "Usage 2: kelvora <input image> <feature list> <output_code> \n"
    "  <input image>: nifti (.nii,.hdr).\n"
    "  <feature list>: text file, each line contains: <x>  <y>  <z>  <scale>.\n"
    "  <output_code>: name code appended to output image.\n"
    "Usage 3: kelvora <command_file>\n"
    "  <command_file>: text file, each line contains: <input image> <x>  <y>  <z>  <scale> "
    "<output_code>.\n";

const char kUnsupported[] = "err\treg_changeDatatype\tThe initial image data type is not supported\n";

// The picture of the feature (2.7, 1.2, 1.9, scale 0.4) in the 4 x 3 x 2 volume whose voxel
// (x, y, z) holds 1 + x + 4y + 12z, worked out by hand: ZY and ZX on top, XY turned below.
const std::string kTinyPicture = std::string("P5\n7 6\n255\n") + std::string({
    0, 51, 102, 0, 17, 34, 51,
    '\x99', '\xff', '\xff', '\xcc', '\xdd', '\xff', '\xff',
    69, '\xa2', '\xff', 0, 0, 0, 0,
    46, '\xff', '\xe7', 0, 0, 0, 0,
    23, 115, '\xd0', 0, 0, 0, 0,
    0, 92, '\xb9', 0, 0, 0, 0});
const char kTinyName[] = "_x002_y001_z001.pgm";

std::vector<uint8_t> tiny_voxels(int datatype) {
  std::vector<double> values;
  for (int k = 0; k < 24; ++k) values.push_back(1 + k);
  switch (datatype) {
    case DT_UINT8: return voxel_bytes(std::vector<uint8_t>(values.begin(), values.end()));
    case DT_INT8: return voxel_bytes(std::vector<int8_t>(values.begin(), values.end()));
    case DT_INT16: return voxel_bytes(std::vector<int16_t>(values.begin(), values.end()));
    case DT_UINT16: return voxel_bytes(std::vector<uint16_t>(values.begin(), values.end()));
    case DT_INT32: return voxel_bytes(std::vector<int32_t>(values.begin(), values.end()));
    case DT_UINT32: return voxel_bytes(std::vector<uint32_t>(values.begin(), values.end()));
    case DT_FLOAT32: return voxel_bytes(std::vector<float>(values.begin(), values.end()));
    case DT_FLOAT64: return voxel_bytes(values);
    default: return std::vector<uint8_t>(24 * 3, 7);  // RGB24
  }
}

class Cli : public ::testing::Test {
 protected:
  // Writes the 4 x 3 x 2 volume as `name` in the temporary directory.
  void write_tiny(const std::string& name, NiftiFileKind kind = NiftiFileKind::kSingleFile,
                  int datatype = DT_UINT8) {
    NiftiFileSpec spec;
    spec.nx = 4;
    spec.ny = 3;
    spec.nz = 2;
    spec.datatype = datatype;
    spec.voxels = tiny_voxels(datatype);
    ASSERT_TRUE(write_nifti_file(dir_.file(name), kind, spec)) << name;
  }
  ProcessResult run(const std::vector<std::string>& args) {
    return run_kelvora_binary(args, dir_.path());
  }
  std::string picture(const std::string& name) { return read_file_bytes(dir_.file(name)); }
  std::vector<std::string> pictures() {
    std::vector<std::string> names;
    for (const std::string& n : list_directory(dir_.path()))
      if (n.size() > 4 && n.substr(n.size() - 4) == ".pgm") names.push_back(n);
    return names;
  }
  TempDir dir_;
};

TEST_F(Cli, WrongArgumentCountPrintsTheUsage) {
  const std::vector<std::vector<std::string>> calls = {
      {}, {"a", "b"}, {"a", "b", "c", "d"}, {"a", "b", "c", "d", "e"},
      {"a", "b", "c", "d", "e", "f", "g"}};
  for (const auto& args : calls) {
    const ProcessResult r = run(args);
    EXPECT_EQ(r.out, kUsage) << args.size() << " arguments";
    EXPECT_EQ(r.exit_status, 255);
  }
}

TEST_F(Cli, FirstArgumentWithDashIsRefused) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"-x"}, {"-brain.nii", "1", "2", "3", "4", "run1"}, {"-", "list", "code"}}) {
    const ProcessResult r = run(args);
    EXPECT_EQ(r.out, "Error: unknown command line argument: " + args[0] + "\n");
    EXPECT_EQ(r.exit_status, 255);
  }
  EXPECT_TRUE(pictures().empty());
}

TEST_F(Cli, SingleFeatureWritesTheExactPicture) {
  write_tiny("tiny.nii");
  const ProcessResult r = run({"tiny.nii", "2.7", "1.2", "1.9", "0.4", "run1"});
  EXPECT_EQ(r.out, "Writing feature images (1)...\nReading image: tiny.nii .. done.\n\nDone.\n");
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(pictures(), std::vector<std::string>{std::string("run1.tiny.nii") + kTinyName});
  EXPECT_EQ(picture(std::string("run1.tiny.nii") + kTinyName), kTinyPicture);
}

TEST_F(Cli, EveryConvertedDatatypeGivesTheSamePicture) {
  for (int datatype : {DT_UINT8, DT_INT8, DT_INT16, DT_UINT16, DT_INT32, DT_UINT32, DT_FLOAT32,
                       DT_FLOAT64}) {
    const std::string name = "t" + std::to_string(datatype) + ".nii";
    write_tiny(name, NiftiFileKind::kSingleFile, datatype);
    const ProcessResult r = run({name, "2.7", "1.2", "1.9", "0.4", "c"});
    EXPECT_EQ(r.exit_status, 0) << datatype;
    EXPECT_EQ(picture("c." + name + kTinyName), kTinyPicture) << datatype;
  }
}

TEST_F(Cli, PairsAndBaseNamesLoadDirectly) {
  write_tiny("pair.hdr", NiftiFileKind::kNiftiPair);
  write_tiny("old.hdr", NiftiFileKind::kAnalyzePair);
  write_tiny("packed.nii.gz");
  for (const std::string image : {"pair.hdr", "pair.img", "pair", "old.hdr", "old.img", "packed.nii.gz"}) {
    const ProcessResult r = run({image, "2.7", "1.2", "1.9", "0.4", "p"});
    EXPECT_EQ(r.out, "Writing feature images (1)...\nReading image: " + image +
                         " .. done.\n\nDone.\n");
    EXPECT_EQ(r.exit_status, 0) << image;
    EXPECT_EQ(picture("p." + image + kTinyName), kTinyPicture) << image;
  }
}

TEST_F(Cli, FailedLoadsAreRetriedWithOtherExtensions) {
  write_tiny("brain.hdr", NiftiFileKind::kAnalyzePair);
  ASSERT_EQ(mkdir(dir_.file("run.1").c_str(), 0755), 0);
  struct Case {
    std::string image;
    std::string console;
    int status;
  } cases[] = {
      {"brain.xyz", "Reading image: brain.xyz .. .hdr .. done.\n\nDone.\n", 0},
      {"none.img", "Reading image: none.img .. .hdr .. .nii .. Error: could not read input image: none.nii\n", 255},
      {"none", "Reading image: none .. Error: could not read input image: none\n", 255},
      {"none.", "Reading image: none. .. .hdr .. .nii .. Error: could not read input image: none.nii\n", 255},
      {"run.1/brain", "Reading image: run.1/brain .. .hdr .. .nii .. Error: could not read input image: run.nii\n", 255},
  };
  for (const Case& c : cases) {
    const ProcessResult r = run({c.image, "2.7", "1.2", "1.9", "0.4", "r"});
    EXPECT_EQ(r.out, "Writing feature images (1)...\n" + c.console);
    EXPECT_EQ(r.exit_status, c.status) << c.image;
  }
  // Pictures are named after the path as given, not after the retry that loaded it.
  EXPECT_EQ(pictures(), std::vector<std::string>{std::string("r.brain.xyz") + kTinyName});
}

TEST_F(Cli, UnsupportedDatatypeIsAFailedLoad) {
  write_tiny("colour.nii", NiftiFileKind::kSingleFile, DT_RGB24);
  const ProcessResult r = run({"colour.nii", "1", "1", "1", "1", "c"});
  EXPECT_EQ(r.out, std::string("Writing feature images (1)...\nReading image: colour.nii .. ") +
                       kUnsupported + ".hdr .. " + kUnsupported + ".nii .. " + kUnsupported +
                       "Error: could not read input image: colour.nii\n");
  EXPECT_EQ(r.exit_status, 255);
  EXPECT_TRUE(pictures().empty());
}

TEST_F(Cli, NamesKeepNegativeAndOutsideCoordinates) {
  write_tiny("tiny.nii");
  const ProcessResult r = run({"tiny.nii", "-3.7", "abc", "1e30", "nan", "n"});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(pictures(), std::vector<std::string>{"n.tiny.nii_x-003_y000_z2147483647.pgm"});
}

TEST_F(Cli, UnwritablePictureIsReportedAndTheRunGoesOn) {
  write_tiny("tiny.nii");
  write_text_file(dir_.file("feats.txt"), "2.7 1.2 1.9 0.4\n1 1 1 1\n");
  const ProcessResult r = run({"tiny.nii", "feats.txt", "missing/run1"});
  EXPECT_EQ(r.out,
            "Writing feature images (2)...\nReading image: tiny.nii .. done.\n"
            "Error: could not write feature image: missing/run1.tiny.nii_x002_y001_z001.pgm\n"
            "Error: could not write feature image: missing/run1.tiny.nii_x001_y001_z001.pgm\n"
            "\nDone.\n");
  EXPECT_EQ(r.exit_status, 255);
  EXPECT_TRUE(pictures().empty());
}

TEST_F(Cli, OverlongNamesNeverOverrunABuffer) {
  write_tiny("tiny.nii");
  const std::string long_path = std::string(496, 'a') + ".nii";
  ProcessResult r = run({long_path, "1", "1", "1", "1", "c"});
  EXPECT_EQ(r.out, "Writing feature images (1)...\nReading image: " + long_path +
                       " .. Error: could not read input image: " + long_path + "\n");
  EXPECT_EQ(r.exit_status, 255);

  const std::string long_code = std::string(500, 'c');
  r = run({"tiny.nii", "1", "1", "1", "1", long_code});
  EXPECT_EQ(r.out, "Writing feature images (1)...\nReading image: tiny.nii .. done.\n"
                   "Error: could not write feature image: " + long_code +
                       ".tiny.nii_x001_y001_z001.pgm\n\nDone.\n");
  EXPECT_EQ(r.exit_status, 255);
  EXPECT_TRUE(pictures().empty());
}

TEST_F(Cli, FeatureListLoadsTheImageOnce) {
  write_tiny("tiny.nii");
  write_text_file(dir_.file("feats.txt"),
                  "# x y z scale\r\n2.7\t1.2 1.9 0.4 trailing text\r\n\r\n1-2-3-4\r\n0 0 0 0");
  const ProcessResult r = run({"tiny.nii", "feats.txt", "run1"});
  EXPECT_EQ(r.out, "Writing feature images (3)...\nReading image: tiny.nii .. done.\n\nDone.\n");
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(pictures(), (std::vector<std::string>{"run1.tiny.nii_x000_y000_z000.pgm",
                                                  "run1.tiny.nii_x001_y-002_z-003.pgm",
                                                  std::string("run1.tiny.nii") + kTinyName}));
  EXPECT_EQ(picture(std::string("run1.tiny.nii") + kTinyName), kTinyPicture);
}

TEST_F(Cli, FeatureListWithoutFeaturesEndsNormally) {
  write_text_file(dir_.file("empty.txt"), "# nothing here\n1 2 3\n");
  for (const std::string list : {"absent.txt", "empty.txt"}) {
    const ProcessResult r = run({"tiny.nii", list, "run1"});
    EXPECT_EQ(r.out, "Error: could not read/identify features in input file: " + list +
                         "\nWriting feature images (0)...\n\nDone.\n");
    EXPECT_EQ(r.exit_status, 0);
  }
}

TEST_F(Cli, CommandFileLoadsOncePerRunOfEqualPaths) {
  write_tiny("a.nii");
  write_tiny("b.nii", NiftiFileKind::kSingleFile, DT_INT16);
  write_text_file(dir_.file("commands.txt"),
                  "# image\tx\ty\tz\tscale\tcode\n"
                  "a.nii\t2.7\t1.2\t1.9\t0.4\tone\n"
                  "a.nii\t1\t1\t1\t1\ttwo\textra\tfields\n"
                  "too\tfew\ttabs\t1\n"
                  "b.nii\t2.7\t1.2\t1.9\t0.4\tthree\r\n"
                  "a.nii\t2.7\t1.2\t1.9\t0.4\tfour");
  const ProcessResult r = run({"commands.txt"});
  EXPECT_EQ(r.out,
            "Reading features: commands.txt\nWriting feature images (4)...\n"
            "Reading image: a.nii .. done.\nReading image: b.nii .. done.\n"
            "Reading image: a.nii .. done.\n\nDone.\n");
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(picture(std::string("one.a.nii") + kTinyName), kTinyPicture);
  EXPECT_EQ(picture(std::string("three.b.nii") + kTinyName), kTinyPicture);
  EXPECT_EQ(picture(std::string("four.a.nii") + kTinyName), kTinyPicture);
  EXPECT_TRUE(file_exists(dir_.file("two.a.nii_x001_y001_z001.pgm")));
  EXPECT_EQ(pictures().size(), 4u);
}

TEST_F(Cli, CommandFileThatYieldsNothing) {
  write_text_file(dir_.file("empty.txt"), "");
  for (const std::string file : {"absent.txt", "empty.txt"}) {
    const ProcessResult r = run({file});
    EXPECT_EQ(r.out, "Reading features: " + file + "\nCould not open input file: " + file + "\n");
    EXPECT_EQ(r.exit_status, 255);
  }
  write_text_file(dir_.file("comments.txt"), "# only a comment\n\n");
  const ProcessResult r = run({"comments.txt"});
  EXPECT_EQ(r.out, "Reading features: comments.txt\nWriting feature images (0)...\n\nDone.\n");
  EXPECT_EQ(r.exit_status, 0);
}

TEST_F(Cli, ImageFailingHalfWayKeepsEarlierPictures) {
  write_tiny("a.nii");
  write_text_file(dir_.file("commands.txt"),
                  "a.nii\t2.7\t1.2\t1.9\t0.4\tone\n"
                  "gone.nii\t1\t1\t1\t1\ttwo\n"
                  "a.nii\t1\t1\t1\t1\tthree\n");
  const ProcessResult r = run({"commands.txt"});
  EXPECT_EQ(r.out,
            "Reading features: commands.txt\nWriting feature images (3)...\n"
            "Reading image: a.nii .. done.\n"
            "Reading image: gone.nii .. .hdr .. .nii .. Error: could not read input image: gone.nii\n");
  EXPECT_EQ(r.exit_status, 255);
  EXPECT_EQ(pictures(), std::vector<std::string>{std::string("one.a.nii") + kTinyName});
  EXPECT_EQ(picture(std::string("one.a.nii") + kTinyName), kTinyPicture);
}

#if defined(__SANITIZE_ADDRESS__)
#define KELVORA_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELVORA_UNDER_ASAN 1
#endif
#endif

TEST_F(Cli, MemoryExhaustionIsReportedNotACrash) {
#ifdef KELVORA_UNDER_ASAN
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
#else
  // 256^3 stored bytes need 64 MiB of floats; the process may have 48 MiB in all.
  NiftiFileSpec spec;
  spec.nx = spec.ny = spec.nz = 256;
  spec.datatype = DT_UINT8;
  spec.voxels.assign(256u * 256u * 256u, 7);
  ASSERT_TRUE(write_nifti_file(dir_.file("big.nii"), NiftiFileKind::kSingleFile, spec));
  const ProcessResult r = run_process(
      "/bin/sh", {"-c", "ulimit -v 49152 && exec \"$0\" \"$@\"", KELVORA_BINARY, "big.nii", "1", "1",
                  "1", "1", "c"},
      dir_.path());
  EXPECT_EQ(r.out, "Writing feature images (1)...\nReading image: big.nii .. Error: out of memory\n");
  EXPECT_EQ(r.exit_status, 255);
  EXPECT_EQ(r.signal, 0);
  EXPECT_TRUE(pictures().empty());
#endif
}

TEST_F(Cli, InfiniteVoxelsDoNotBlackenThePicture) {
  // The library zeroes NaN voxels as it reads, but doubles beyond the float range become
  // infinities in the conversion: a background of -1e300, a ramp inside.
  std::vector<double> values(4 * 3 * 2, -1e300);
  for (int k = 0; k < 24; ++k)
    if (k % 4 != 0) values[static_cast<size_t>(k)] = k;
  NiftiFileSpec spec;
  spec.nx = 4;
  spec.ny = 3;
  spec.nz = 2;
  spec.datatype = DT_FLOAT64;
  spec.voxels = voxel_bytes(values);
  ASSERT_TRUE(write_nifti_file(dir_.file("masked.nii"), NiftiFileKind::kSingleFile, spec));
  const ProcessResult r = run({"masked.nii", "2", "1", "1", "-1", "m"});
  EXPECT_EQ(r.exit_status, 0);
  const std::string bytes = picture("m.masked.nii_x002_y001_z001.pgm");
  ASSERT_EQ(bytes.size(), 11u + 42u);
  // ZY panel at x 2: voxels 2+4y+12z, stretched 0..255; nothing NaN there.
  EXPECT_EQ(bytes.substr(11, 3), std::string({0, 51, 102}));
  // XY panel: the -infinity column x 0 (turned to the bottom row) is black, the rest graded.
  EXPECT_EQ(bytes.substr(11 + 5 * 7, 3), std::string({0, 0, 0}));
  EXPECT_EQ(static_cast<unsigned char>(bytes[11 + 2 * 7 + 2]), 255);
}

}  // namespace
