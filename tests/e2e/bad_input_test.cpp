// End-to-end: the real kelvora binary on broken, hostile and oversized input. Every case
// checks the exact console text naming the problem, the exit status, that the process
// ended by itself within its time limit without a signal or a sanitizer report, and that
// the only pictures left on disk are the expected ones, each complete.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/nifti_files.h"
#include "support/process.h"

namespace {

constexpr int kTimeLimitSeconds = 120;

const char kUnsupported[] = "err\treg_changeDatatype\tThe initial image data type is not supported\n";
const char kWriting1[] = "Writing feature images (1)...\n";
const char kDone[] = "\nDone.\n";
// The feature every image case asks for, and the name part it gives.
const std::vector<std::string> kFeature = {"2.7", "1.2", "1.9", "0.4"};
const char kFeatureName[] = "_x002_y001_z001.pgm";

std::string loaded(const std::string& image) { return "Reading image: " + image + " .. done.\n"; }

// The console line of an image that no attempt loads, retried under ".hdr" and ".nii".
std::string unloadable(const std::string& image, const std::string& last_attempt) {
  return "Reading image: " + image + " .. .hdr .. .nii .. Error: could not read input image: " +
         last_attempt + "\n";
}

std::string unwritten(const std::string& picture) {
  return "Error: could not write feature image: " + picture + "\n";
}

// The scratch directory of one case, with the small filesystems mounted in it; they are
// unmounted before the directory is removed.
class Scratch {
 public:
  Scratch() = default;
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch() {
    for (const std::string& point : mounts_) umount2(point.c_str(), MNT_DETACH);
  }

  std::string file(const std::string& name) const { return dir.file(name); }

  // Mounts a tmpfs at `name`; false with the reason in `why` when this process may not.
  bool mount_tmpfs(const std::string& name, unsigned long flags, const char* options,
                   std::string* why) {
    const std::string point = file(name);
    if (mkdir(point.c_str(), 0755) != 0) {
      *why = "cannot make " + point;
      return false;
    }
    if (geteuid() != 0) {
      *why = "needs root to mount a small filesystem";
      return false;
    }
    if (mount("tmpfs", point.c_str(), "tmpfs", flags, options) != 0) {
      *why = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
      return false;
    }
    mounts_.push_back(point);
    return true;
  }

  TempDir dir;

 private:
  std::vector<std::string> mounts_;
};

// What a case runs and what it must give.
struct Expected {
  std::vector<std::string> args;
  std::string out;                    // the whole standard output
  int status = 0;                     // exit status; 255 is the tool's -1
  std::vector<std::string> pictures;  // pictures left afterwards, relative to the directory
  std::string skip;                   // when set, the case cannot run here, for this reason
};

std::vector<std::string> with_feature(const std::string& image, const std::string& code) {
  std::vector<std::string> args = {image};
  args.insert(args.end(), kFeature.begin(), kFeature.end());
  args.push_back(code);
  return args;
}

// The 4 x 3 x 2 UINT8 volume holding 1..24.
void write_tiny(const Scratch& s, const std::string& name) {
  NiftiFileSpec spec;
  spec.nx = 4;
  spec.ny = 3;
  spec.nz = 2;
  spec.datatype = DT_UINT8;
  for (uint8_t v = 1; v <= 24; ++v) spec.voxels.push_back(v);
  ASSERT_TRUE(write_nifti_file(s.file(name), NiftiFileKind::kSingleFile, spec)) << name;
}

// A single-file image of the tiny volume's header with `damage` applied and `stored`
// voxel bytes after it.
void write_raw(const Scratch& s, const std::string& name, int16_t datatype, size_t stored,
               void (*damage)(nifti_1_header*)) {
  nifti_1_header header = raw_nifti_header(4, 3, 2, datatype);
  if (damage != nullptr) damage(&header);
  std::vector<uint8_t> voxels(stored);
  for (size_t i = 0; i < stored; ++i) voxels[i] = static_cast<uint8_t>(i * 5 + 1);
  ASSERT_TRUE(write_binary_file(s.file(name), raw_nifti_bytes(header, voxels)));
}

// An image the tool refuses: one feature, the retried console line, status -1, nothing
// written.
Expected refused(const std::string& image) {
  return {with_feature(image, "c"), kWriting1 + unloadable(image, image), 255, {}, ""};
}

// A tiny image that loads and a picture that cannot be written under `code`.
Expected unwritable(const Scratch& s, const std::string& code) {
  write_tiny(s, "tiny.nii");
  return {with_feature("tiny.nii", code),
          kWriting1 + loaded("tiny.nii") + unwritten(code + ".tiny.nii" + kFeatureName) + kDone,
          255, {}, ""};
}

// The tiny image with the feature's coordinates or scale replaced: always a picture.
Expected odd_feature(const Scratch& s, const std::vector<std::string>& numbers,
                     const std::string& name_part) {
  write_tiny(s, "tiny.nii");
  std::vector<std::string> args = {"tiny.nii"};
  args.insert(args.end(), numbers.begin(), numbers.end());
  args.push_back("c");
  return {args, kWriting1 + loaded("tiny.nii") + kDone, 0, {"c.tiny.nii" + name_part}, ""};
}

struct BadInputCase {
  const char* name;
  Expected (*prepare)(Scratch& s);
};

void PrintTo(const BadInputCase& c, std::ostream* os) { *os << c.name; }

const BadInputCase kCases[] = {
    // Images that cannot be shown.
    {"TruncatedData",
     [](Scratch& s) {
       write_tiny(s, "cut.nii");
       std::filesystem::resize_file(s.file("cut.nii"), 352 + 20);
       return refused("cut.nii");
     }},
    {"TruncatedHeader",
     [](Scratch& s) {
       write_tiny(s, "cut.nii");
       std::filesystem::resize_file(s.file("cut.nii"), 200);
       return refused("cut.nii");
     }},
    {"DimsLargerThanData",
     [](Scratch& s) {
       write_raw(s, "big.nii", DT_INT16, 48, [](nifti_1_header* h) { h->dim[3] = 40; });
       return refused("big.nii");
     }},
    {"DimsClaimingTerabytes",
     [](Scratch& s) {
       write_raw(s, "big.nii", DT_FLOAT64, 48,
                 [](nifti_1_header* h) { h->dim[1] = h->dim[2] = h->dim[3] = 32767; });
       return refused("big.nii");
     }},
    {"ZeroColumns",
     [](Scratch& s) {
       write_raw(s, "flat.nii", DT_UINT8, 24, [](nifti_1_header* h) { h->dim[1] = 0; });
       return refused("flat.nii");
     }},
    {"ZeroRows",
     [](Scratch& s) {
       write_raw(s, "flat.nii", DT_UINT8, 24, [](nifti_1_header* h) { h->dim[2] = 0; });
       return refused("flat.nii");
     }},
    {"NegativeSlices",
     [](Scratch& s) {
       write_raw(s, "flat.nii", DT_UINT8, 24, [](nifti_1_header* h) { h->dim[3] = -2; });
       return refused("flat.nii");
     }},
    {"NoDimensions",
     [](Scratch& s) {
       write_raw(s, "flat.nii", DT_UINT8, 24, [](nifti_1_header* h) { h->dim[0] = 0; });
       return refused("flat.nii");
     }},
    {"DirectoryAsImage",
     [](Scratch& s) {
       EXPECT_EQ(mkdir(s.file("scan.nii").c_str(), 0755), 0);
       return refused("scan.nii");
     }},
    {"DirectoryWithoutExtensionAsImage",
     [](Scratch& s) {
       EXPECT_EQ(mkdir(s.file("scans").c_str(), 0755), 0);
       return Expected{with_feature("scans", "c"),
                       std::string(kWriting1) +
                           "Reading image: scans .. Error: could not read input image: scans\n",
                       255, {}, ""};
     }},
    {"NotNiftiAtAll",
     [](Scratch& s) {
       std::string text;
       for (int i = 0; i < 100; ++i) text += "x y z scale: these are notes, not an image\n";
       write_text_file(s.file("notes.nii"), text);
       return refused("notes.nii");
     }},
    {"UnsupportedDatatypeRgb",
     [](Scratch& s) {
       write_raw(s, "colour.nii", DT_RGB24, 72, nullptr);
       return Expected{with_feature("colour.nii", "c"),
                       std::string(kWriting1) + "Reading image: colour.nii .. " + kUnsupported +
                           ".hdr .. " + kUnsupported + ".nii .. " + kUnsupported +
                           "Error: could not read input image: colour.nii\n",
                       255, {}, ""};
     }},
    {"UnsupportedDatatypeInt64",
     [](Scratch& s) {
       write_raw(s, "wide.nii", DT_INT64, 192, nullptr);
       return Expected{with_feature("wide.nii", "c"),
                       std::string(kWriting1) + "Reading image: wide.nii .. " + kUnsupported +
                           ".hdr .. " + kUnsupported + ".nii .. " + kUnsupported +
                           "Error: could not read input image: wide.nii\n",
                       255, {}, ""};
     }},
    // An image that exists, named by a path of 500 characters: too long for the name buffer.
    {"ImagePathOf500Characters",
     [](Scratch& s) {
       std::string path;
       for (int i = 0; i < 4; ++i) {
         path += std::string(110, static_cast<char>('d' + i)) + "/";
         EXPECT_EQ(mkdir(s.file(path).c_str(), 0755), 0);
       }
       path += std::string(500 - path.size() - 4, 't') + ".nii";
       write_tiny(s, path);
       EXPECT_EQ(path.size(), 500u);
       return Expected{with_feature(path, "c"),
                       kWriting1 + ("Reading image: " + path +
                                    " .. Error: could not read input image: " + path + "\n"),
                       255, {}, ""};
     }},
    // Pictures that cannot be written: reported by name, the run goes on, status -1.
    {"OutputCodeOf500Characters", [](Scratch& s) { return unwritable(s, std::string(500, 'c')); }},
    {"OutputDirectoryMissing", [](Scratch& s) { return unwritable(s, "nowhere/run1"); }},
    {"OutputDirectoryReadOnly",
     [](Scratch& s) {
       std::string why;
       // Root writes through permission bits, so it needs a read-only mount instead.
       if (geteuid() == 0 && !s.mount_tmpfs("locked", MS_RDONLY, "size=64k", &why)) {
         return Expected{{}, "", 0, {}, why};
       }
       if (geteuid() != 0) {
         EXPECT_EQ(mkdir(s.file("locked").c_str(), 0555), 0);
       }
       return unwritable(s, "locked/run1");
     }},
    {"DiskFull",
     [](Scratch& s) {
       std::string why;
       if (!s.mount_tmpfs("full", 0, "size=64k", &why)) return Expected{{}, "", 0, {}, why};
       // 200 columns, 190 rows, 12 slices: a picture of 390 x 212 bytes, more than 64 KiB.
       NiftiFileSpec spec;
       spec.nx = 200;
       spec.ny = 190;
       spec.nz = 12;
       spec.datatype = DT_UINT8;
       for (int i = 0; i < 200 * 190 * 12; ++i) spec.voxels.push_back(static_cast<uint8_t>(i % 251));
       EXPECT_TRUE(write_nifti_file(s.file("big.nii"), NiftiFileKind::kSingleFile, spec));
       return Expected{{"big.nii", "100.5", "95", "6", "3", "full/run1"},
                       kWriting1 + loaded("big.nii") +
                           unwritten("full/run1.big.nii_x100_y095_z006.pgm") + kDone,
                       255, {}, ""};
     }},
    // Coordinates and scales beyond any volume: a picture, named with saturated values.
    {"CoordinatesNaN",
     [](Scratch& s) { return odd_feature(s, {"nan", "nan", "nan", "0.4"}, "_x000_y000_z000.pgm"); }},
    {"CoordinatesInfinite",
     [](Scratch& s) {
       return odd_feature(s, {"inf", "inf", "inf", "0.4"}, "_x2147483647_y2147483647_z2147483647.pgm");
     }},
    {"CoordinatesMinusInfinite",
     [](Scratch& s) {
       return odd_feature(s, {"-inf", "-inf", "-inf", "0.4"},
                          "_x-2147483648_y-2147483648_z-2147483648.pgm");
     }},
    {"CoordinatesHuge",
     [](Scratch& s) {
       return odd_feature(s, {"1e30", "1e30", "1e30", "0.4"}, "_x2147483647_y2147483647_z2147483647.pgm");
     }},
    {"CoordinatesHugeNegative",
     [](Scratch& s) {
       return odd_feature(s, {"-1e30", "-1e30", "-1e30", "0.4"},
                          "_x-2147483648_y-2147483648_z-2147483648.pgm");
     }},
    {"ScaleNaN", [](Scratch& s) { return odd_feature(s, {"2.7", "1.2", "1.9", "nan"}, kFeatureName); }},
    {"ScaleZero", [](Scratch& s) { return odd_feature(s, {"2.7", "1.2", "1.9", "0"}, kFeatureName); }},
    {"ScaleNegative", [](Scratch& s) { return odd_feature(s, {"2.7", "1.2", "1.9", "-1"}, kFeatureName); }},
    {"ScaleHuge", [](Scratch& s) { return odd_feature(s, {"2.7", "1.2", "1.9", "1e9"}, kFeatureName); }},
    // Command files.
    {"CommandFileIsADirectory",
     [](Scratch& s) {
       EXPECT_EQ(mkdir(s.file("commands").c_str(), 0755), 0);
       return Expected{{"commands"},
                       "Reading features: commands\nCould not open input file: commands\n", 255, {}, ""};
     }},
    {"CommandFileOfBinaryJunk",
     [](Scratch& s) {
       // Every byte value but the tab, so no line has the fields of an entry.
       std::string junk(256 * 1024, '\0');
       uint64_t state = 0x9E3779B97F4A7C15u;
       for (char& c : junk) {
         state = state * 6364136223846793005u + 1442695040888963407u;
         c = static_cast<char>(state >> 56);
         if (c == '\t') c = '\v';
       }
       write_text_file(s.file("junk.bin"), junk);
       return Expected{{"junk.bin"},
                       "Reading features: junk.bin\nWriting feature images (0)...\n\nDone.\n", 0, {}, ""};
     }},
    {"CommandFileOfOne10MegabyteLine",
     [](Scratch& s) {
       // Read in pieces of 1999 characters: the first is an entry whose output code is
       // the 1974 characters that fit, too long for a picture name; the rest have no tabs.
       write_tiny(s, "tiny.nii");
       const std::string start = "tiny.nii\t2.7\t1.2\t1.9\t0.4\t";
       write_text_file(s.file("long.txt"), start + std::string(10 * 1024 * 1024, 'c') + "\n");
       return Expected{{"long.txt"},
                       "Reading features: long.txt\n" + std::string(kWriting1) + loaded("tiny.nii") +
                           unwritten(std::string(1999 - start.size(), 'c') + ".tiny.nii" + kFeatureName) +
                           kDone,
                       255, {}, ""};
     }},
    {"CommandFileOfAMillionLines",
     [](Scratch& s) {
       write_tiny(s, "tiny.nii");
       std::string text;
       text.reserve(9 * 1000 * 1000);
       for (int i = 0; i < 999999; ++i) text += "skip\tme\n";
       text += "tiny.nii\t2.7\t1.2\t1.9\t0.4\tm\n";
       write_text_file(s.file("many.txt"), text);
       return Expected{{"many.txt"},
                       "Reading features: many.txt\n" + std::string(kWriting1) + loaded("tiny.nii") + kDone,
                       0, {std::string("m.tiny.nii") + kFeatureName}, ""};
     }},
    // Half way through a command file: what was written stays, and the console says which
    // entry failed.
    {"CommandFileImageFailingHalfWay",
     [](Scratch& s) {
       write_tiny(s, "tiny.nii");
       write_tiny(s, "cut.nii");
       std::filesystem::resize_file(s.file("cut.nii"), 352 + 20);
       write_text_file(s.file("half.txt"),
                       "tiny.nii\t2.7\t1.2\t1.9\t0.4\tone\n"
                       "tiny.nii\t1\t1\t1\t1\ttwo\n"
                       "cut.nii\t2.7\t1.2\t1.9\t0.4\tthree\n"
                       "tiny.nii\t2.7\t1.2\t1.9\t0.4\tfour\n");
       return Expected{{"half.txt"},
                       "Reading features: half.txt\nWriting feature images (4)...\n" + loaded("tiny.nii") +
                           unloadable("cut.nii", "cut.nii"),
                       255, {std::string("one.tiny.nii") + kFeatureName, "two.tiny.nii_x001_y001_z001.pgm"}, ""};
     }},
    {"CommandFilePictureFailingHalfWay",
     [](Scratch& s) {
       write_tiny(s, "tiny.nii");
       write_text_file(s.file("half.txt"),
                       "tiny.nii\t2.7\t1.2\t1.9\t0.4\tone\n"
                       "tiny.nii\t1\t1\t1\t1\tnowhere/two\n"
                       "tiny.nii\t2.7\t1.2\t1.9\t0.4\tthree\n");
       return Expected{{"half.txt"},
                       "Reading features: half.txt\nWriting feature images (3)...\n" + loaded("tiny.nii") +
                           unwritten("nowhere/two.tiny.nii_x001_y001_z001.pgm") + kDone,
                       255, {std::string("one.tiny.nii") + kFeatureName, std::string("three.tiny.nii") + kFeatureName}, ""};
     }},
};

// Every ".pgm" under `root`, relative to it, sorted.
std::vector<std::string> pictures_under(const std::string& root) {
  std::vector<std::string> names;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(root, error);
       it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (error) break;
    const std::string path = it->path().string();
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".pgm") == 0) {
      names.push_back(path.substr(root.size() + 1));
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

// True when `bytes` is a whole P5 picture: its header, then exactly width x height bytes.
bool complete_pgm(const std::string& bytes) {
  int width = 0;
  int height = 0;
  int header = 0;
  if (std::sscanf(bytes.c_str(), "P5\n%d %d\n255\n%n", &width, &height, &header) != 2 || header == 0) {
    return false;
  }
  return bytes.size() == static_cast<size_t>(header) + static_cast<size_t>(width) * static_cast<size_t>(height);
}

class BadInput : public testing::TestWithParam<BadInputCase> {};

TEST_P(BadInput, GivesItsMessageAndStatusWithoutCrashOrPartialPicture) {
  Scratch scratch;
  ASSERT_FALSE(scratch.dir.path().empty());
  const Expected expected = GetParam().prepare(scratch);
  if (!expected.skip.empty()) GTEST_SKIP() << expected.skip;
  ASSERT_FALSE(HasFailure()) << "the case could not be set up";

  const ProcessResult r = run_kelvora_binary(expected.args, scratch.dir.path(), kTimeLimitSeconds);
  EXPECT_FALSE(r.timed_out) << "still running after " << kTimeLimitSeconds << " s";
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.out, expected.out);
  EXPECT_EQ(r.exit_status, expected.status);
  EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;

  std::vector<std::string> wanted = expected.pictures;
  std::sort(wanted.begin(), wanted.end());
  EXPECT_EQ(pictures_under(scratch.dir.path()), wanted);
  for (const std::string& name : wanted) {
    EXPECT_TRUE(complete_pgm(read_file_bytes(scratch.file(name)))) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, BadInput, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<BadInputCase>& info) { return info.param.name; });

}  // namespace
