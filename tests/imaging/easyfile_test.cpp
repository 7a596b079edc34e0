#include "imaging/EasyFile.h"

#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "imaging/CGglue.h"
#include "imaging/SampleImages.h"
#include "imaging/commonprocs.h"
#include "platform/Bundle.h"
#include "platform/ImageIO.h"
#include "platform/UTTypes.h"

namespace {
namespace fs = std::filesystem;

std::vector<uint8_t> Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class EasyFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "bw-easyfile-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        images_ = CGImageLiveCount();
        pictures_ = QDPictureLiveCount();
    }
    void TearDown() override {
        NavSetChooser(nullptr);
        LSSetDesktopOpener("");
        CFBundleSetOwnBundlePath("");
        ImageSetPixelLimit(0);
        EXPECT_EQ(CGImageLiveCount(), images_) << "every image released";
        EXPECT_EQ(QDPictureLiveCount(), pictures_) << "every picture killed";
        fs::remove_all(dir_);
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir_ + "/" + name;
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    std::string Write(const std::string& name, const std::string& text) {
        return Write(name, std::vector<uint8_t>(text.begin(), text.end()));
    }
    static FSSpec FileAt(const std::string& path) {
        FSSpec file{};
        FSMakeFSSpecFromPath(path, &file);
        return file;
    }
    std::string dir_;
    int32_t images_ = 0, pictures_ = 0;
};

// The pixels of a buffer, an image or a picture as bytes A, R, G, B; the holder is disposed of,
// released or killed after (none: an empty image). Images and pictures are drawn into a buffer.
sample::Image Taken(GWorldPtr gw) {
    const Rect r = GetPortRect(gw);
    sample::Image img{r.right, r.bottom, {}};
    PixMapHandle pm = GetGWorldPixMap(gw);
    for (int y = 0; y < r.bottom; y++) {
        const auto* row = reinterpret_cast<const uint8_t*>(PixRow(GetPixBaseAddr(pm), GetPixRowBytes(pm), y));
        img.argb.insert(img.argb.end(), row, row + 4 * r.right);
    }
    DisposeGWorld(gw);
    return img;
}
sample::Image Taken(CGImageRef image) {
    if (!image) return {};
    GWorldPtr gw = AllocateGWorld(int16_t(CGImageGetWidth(image)), int16_t(CGImageGetHeight(image)));
    DrawCGImageInQDRectWithAlpha(gw, image, GetPortRect(gw), 0, false, -1, kCGBlendModeCopy);
    CGImageRelease(image);
    return Taken(gw);
}
sample::Image Taken(PicHandle picture) {
    if (!picture) return {};
    Rect frame = picture->picFrame;
    GWorldPtr gw = AllocateRectGWorld(frame);
    OffsetRect(&frame, int16_t(-frame.left), int16_t(-frame.top));
    DrawPictureInGW(gw, picture, frame);
    KillPicture(picture);
    return Taken(gw);
}

// The largest channel difference, or 999 for different sizes.
int Difference(const sample::Image& a, const sample::Image& b) {
    if (a.w != b.w || a.h != b.h || a.argb.size() != b.argb.size()) return 999;
    int most = 0;
    for (size_t i = 0; i < a.argb.size(); i++) most = std::max(most, std::abs(int(a.argb[i]) - int(b.argb[i])));
    return most;
}

// Every loading path, from the file's path.
struct Path {
    const char* name;
    std::function<sample::Image(const std::string&)> load;
};
const Path kPaths[] = {
    {"ImageDecode", [](const std::string& p) {
         const std::vector<uint8_t> bytes = Read(p);
         DecodedImage d;
         ImageDecode(bytes.data(), bytes.size(), d);
         return sample::Image{d.width, d.height, d.argb};
     }},
    {"GetCGImageFromURLUsingCG", [](const std::string& p) { return Taken(GetCGImageFromURLUsingCG(p)); }},
    {"GetCGImageFromURLUsingQT", [](const std::string& p) { return Taken(GetCGImageFromURLUsingQT(p)); }},
    {"ReadPictureFromFSRef", [](const std::string& p) {
         Str255 name;
         return Taken(ReadPictureFromFSRef(FSRef{p}, name));
     }},
    {"GetPictFromURLUsingCG", [](const std::string& p) { return Taken(GetPictFromURLUsingCG(p)); }},
};

TEST_F(EasyFile, EveryFormatDecodesToTheSamePixelsAlongEveryPath) {
    const sample::Image expected = sample::Pixels();
    for (const sample::Format& f : sample::kFormats) {
        const std::string file = Write(std::string("sample.") + f.name, f.encode(expected));
        for (const Path& p : kPaths) EXPECT_LE(Difference(p.load(file), expected), f.tolerance) << f.name << " by " << p.name;
    }
}

// Straight alpha decoded; images premultiplied; importer pictures over white; image-source
// pictures as drawn after the clear (transparent black).
TEST_F(EasyFile, TransparencyPerPath) {
    const sample::Image straight = sample::Pixels(true);
    sample::Image premultiplied = straight, overWhite = straight;
    for (size_t i = 0; i < straight.argb.size(); i += 4) {
        const int a = straight.argb[i];
        overWhite.argb[i] = 255;
        for (int k = 1; k < 4; k++) {
            premultiplied.argb[i + k] = uint8_t((straight.argb[i + k] * a + 127) / 255);
            overWhite.argb[i + k] = uint8_t(premultiplied.argb[i + k] + 255 - a);
        }
    }
    const std::string file = Write("alpha.png", sample::PNG(straight));
    const sample::Image* want[] = {&straight, &premultiplied, &premultiplied, &overWhite, &premultiplied};
    for (size_t i = 0; i < std::size(kPaths); i++) EXPECT_LE(Difference(kPaths[i].load(file), *want[i]), 1) << kPaths[i].name;
}

uint32_t Crc32(const uint8_t* p, size_t n) {  // PNG's chunk checksum
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; i++) {
        c ^= p[i];
        for (int k = 0; k < 8; k++) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

// Huge sizes patched into the headers.
std::vector<uint8_t> Patched(const char* format) {
    const std::string f = format;
    std::vector<uint8_t> bytes;
    if (f == "png") {  // 100000 x 100000, with a correct checksum
        bytes = sample::PNG(sample::Pixels());
        for (int i = 0; i < 8; i++) bytes[size_t(16 + i)] = uint8_t(100000u >> (24 - 8 * (i % 4)));
        const uint32_t crc = Crc32(bytes.data() + 12, 17);
        for (int b = 0; b < 4; b++) bytes[size_t(29 + b)] = uint8_t(crc >> (24 - 8 * b));
    } else if (f == "gif") {  // logical screen and frame of 65535 x 65535
        bytes = sample::GIF(sample::Pixels());
        for (size_t at : {size_t(6), size_t(8)}) bytes[at] = bytes[at + 1] = 0xFF;
        for (size_t i = 13 + 3 * 256; i + 9 < bytes.size(); i++)
            if (bytes[i] == 0x2C) {
                for (size_t at : {i + 5, i + 7}) bytes[at] = bytes[at + 1] = 0xFF;
                break;
            }
    } else if (f == "jpg") {  // start of frame: 65500 x 65500
        bytes = sample::JPEG(sample::Pixels());
        for (size_t i = 2; i + 8 < bytes.size(); i++)
            if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
                bytes[i + 5] = bytes[i + 7] = 0xFF, bytes[i + 6] = bytes[i + 8] = 0xDC;
                break;
            }
    } else if (f == "webp") {  // lossless header: 14-bit sizes, all ones (16384 x 16384)
        bytes = sample::WebP(sample::Pixels());
        bytes[21] = 0xFF, bytes[22] = 0xFF, bytes[23] = 0xFF, bytes[24] = (bytes[24] & 0xF0) | 0x0F;
    }
    return bytes;
}

TEST_F(EasyFile, HugeTruncatedAndForeignFilesGiveNoneAndAllocateNoPixels) {
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        bool allocates;  // a size within the limits is allocated before the data runs out
    };
    std::vector<Case> cases = {{"huge png", Patched("png"), false}, {"huge gif", Patched("gif"), false}, {"huge jpeg", Patched("jpg"), false}, {"huge webp", Patched("webp"), false}, {"empty", {}, false}, {"text", {'h', 'e', 'l', 'l', 'o'}, false}, {"signature only", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, false}};
    for (const sample::Format& f : sample::kFormats) {
        const std::vector<uint8_t> whole = f.encode(sample::Pixels());
        for (size_t keep : {size_t(12), whole.size() / 2, whole.size() - 3})
            cases.push_back({std::string(f.name) + " cut to " + std::to_string(keep),
                             std::vector<uint8_t>(whole.begin(), whole.begin() + std::ptrdiff_t(keep)), true});
    }
    for (const Case& c : cases) {
        ImageResetLargestPixelRequest();
        DecodedImage d;
        EXPECT_FALSE(ImageDecode(c.bytes.data(), c.bytes.size(), d)) << c.name;
        EXPECT_TRUE(d.argb.empty()) << c.name;
        EXPECT_LE(ImageLargestPixelRequest(), c.allocates ? 24 : 0) << c.name;
        const std::string file = Write("bad", c.bytes);
        EXPECT_EQ(GetCGImageFromURLUsingCG(file), nullptr) << c.name;
        Str255 name;
        EXPECT_EQ(ReadPictureFromFSS(FileAt(file), name), nullptr) << c.name;
    }
    // A size within the sides but past the pixel limit.
    ImageSetPixelLimit(23);
    const std::vector<uint8_t> png = sample::PNG(sample::Pixels());
    DecodedImage d;
    EXPECT_FALSE(ImageDecode(png.data(), png.size(), d));
    ImageSetPixelLimit(24);
    EXPECT_TRUE(ImageDecode(png.data(), png.size(), d));
}

TEST_F(EasyFile, ScaledBufferHoldsThePicturesTopLeftOnWhite) {
    const sample::Image img = sample::Pixels();
    const FSRef file{Write("s.png", sample::PNG(img))};
    const struct {
        int16_t ws, hs;
        int w, h;  // 0: none
    } cases[] = {{1, 1, 6, 4}, {2, 2, 3, 2}, {3, 1, 2, 4}, {0, 1, 0, 0}, {1, -1, 0, 0}, {7, 1, 0, 0}};
    for (const auto& c : cases) {
        GWorldPtr gw = GetScaledGWImageFromFSRef(file, c.ws, c.hs);
        ASSERT_EQ(gw != nullptr, c.w > 0) << c.ws << "x" << c.hs;
        if (!gw) continue;
        const sample::Image got = Taken(gw);
        ASSERT_EQ(std::pair(got.w, got.h), std::pair(c.w, c.h));
        for (int y = 0; y < c.h; y++)
            for (int x = 0; x < c.w; x++) EXPECT_EQ(std::memcmp(got.At(x, y), img.At(x, y), 4), 0) << x << "," << y;
    }
    EXPECT_EQ(GetScaledGWImageFromFSRef(FSRef{dir_ + "/missing.png"}, 1, 1), nullptr);
}

TEST_F(EasyFile, BundleResourcesLoadAndNamesCannotClimbOut) {
    const std::string bundle = dir_ + "/test.bundle";
    Write("test.bundle/Contents/Info.plist", std::string("<key>CFBundleIdentifier</key><string>x</string>"));
    const std::vector<uint8_t> png = sample::PNG(sample::Pixels());
    Write("test.bundle/Contents/Resources/pics/a.png", png);
    Write("test.bundle/Contents/Resources/b.png", png);
    Write("outside.png", png);
    CFBundleSetOwnBundlePath(bundle);
    const struct {
        const char *name, *ext, *path;
        bool found;
    } cases[] = {{"a", "png", "pics", true}, {"b", "png", "", true}, {"a", "png", "", false}, {"../../../outside", "png", "", false}, {"a", "png", "../Resources/pics", false}};
    for (const auto& c : cases) {
        CGImageRef img = GetCGImageFromBundle(c.name, c.ext, c.path);
        EXPECT_EQ(img != nullptr, c.found) << c.name << " in " << c.path;
        CGImageRelease(img);
    }
    PicHandle pic = LoadPictureFromBundle("b", "png");
    ASSERT_NE(pic, nullptr);
    EXPECT_EQ(pic->picFrame, (Rect{0, 0, 4, 6}));
    KillPicture(pic);
}

// A file's type by extension, type code or content, against the identifiers it does and does not
// conform to.
TEST_F(EasyFile, FileConformsToFollowsTheMimeDatabase) {
    const std::vector<uint8_t> png = sample::PNG(sample::Pixels()), gif = sample::GIF(sample::Pixels());
    const std::vector<uint8_t> text = {'a', 'b', 'c', '\n'};
    const struct {
        const char* name;
        const std::vector<uint8_t>* bytes;
        const char* typeCode;  // "" for none
        std::vector<const char*> yes, no;
    } cases[] = {
        {"a.png", &png, "", {"public.png", "public.image", "public.data"}, {"public.jpeg", "public.text"}},
        {"B.PNG", &text, "", {"public.png"}, {}},  // by its extension, whatever it holds
        {"a.jpg", &png, "", {"public.jpeg"}, {"public.png"}},
        {"noext", &png, "", {"public.png"}, {}},
        {"odd.qqqzz", &gif, "", {"com.compuserve.gif"}, {}},
        {"noext2", &text, "", {}, {"public.image"}},
        {"noext3", &text, "JPEG", {"public.jpeg"}, {}},
        {"a.txt", &text, "", {"public.plain-text", "public.text"}, {}},
        {"a.c", &text, "", {"public.plain-text"}, {"public.image"}},
        {"a.tif", &png, "", {"public.tiff"}, {}},
        {"a.webp", &png, "", {"org.webmproject.webp"}, {}},
        {".png", &text, "", {}, {"public.png"}},
    };
    for (const auto& c : cases) {
        const std::string path = Write(c.name, *c.bytes);
        if (*c.typeCode) {
            uint8_t info[32] = {};
            std::memcpy(info, c.typeCode, 4);
            if (::setxattr(path.c_str(), "user.com.apple.FinderInfo", info, sizeof info, 0) != 0) continue;
        }
        for (const char* uti : c.yes) EXPECT_TRUE(FileConformsTo(FSRef{path}, uti)) << c.name << " " << uti;
        for (const char* uti : c.no) EXPECT_FALSE(FileConformsTo(FSRef{path}, uti)) << c.name << " " << uti;
    }
    EXPECT_FALSE(FileConformsTo(FSRef{dir_ + "/missing.png"}, "public.png"));
}

// The dialogs, answered by a chooser that records what it was shown.
struct Shown {
    bool save = false;
    std::string title, filter, defaultName, answer;
} gShown;
bool Chooser(bool save, const std::string& title, const std::string& filter, const std::string& defaultName,
             std::string& path) {
    gShown.save = save, gShown.title = title, gShown.filter = filter, gShown.defaultName = defaultName;
    path = gShown.answer;
    return !path.empty();
}
// The chooser's next answer ("" cancels), with nothing shown yet.
void Answer(const std::string& path) {
    gShown = Shown{};
    gShown.answer = path;
}

TEST_F(EasyFile, DialogsOfferOneFileOfTheTypeAndReportReplacing) {
    NavSetChooser(Chooser);
    const std::string existing = Write("pic.png", std::string("x"));
    const struct {
        OSType type;
        bool multiple;
        std::string answer, filter;
    } opens[] = {{cAnyFileType, true, existing, ""},
                 {FourCC("PNGf"), false, existing, "Files (*.png *.PNG)"},
                 {FourCC("zzzz"), false, existing, ""},
                 {cAnyFileType, false, "", ""}};
    for (const auto& o : opens) {
        Answer(o.answer);
        FSSpec file{};
        EXPECT_EQ(bool(EasyNavGetFile(PStr("Choose Picture"), o.type, FourCC("8BIM"), o.multiple, file)), !o.answer.empty());
        EXPECT_EQ(gShown.title, "Choose Picture");
        EXPECT_EQ(gShown.filter, o.filter);
        EXPECT_FALSE(gShown.save);
        EXPECT_TRUE(o.answer.empty() || FSSpecPath(file) == existing) << FSSpecPath(file);
    }
    for (const std::string& answer : {existing, dir_ + "/new.png", std::string()}) {
        Answer(answer);
        FSSpec file{};
        Boolean replacing = true;
        const bool chosen = EasyNavPutFile(PStr("Save as"), PStr("untitled.png"), FourCC("PNGf"), 0, file, replacing);
        EXPECT_EQ(chosen, !answer.empty());
        EXPECT_TRUE(gShown.save);
        EXPECT_EQ(gShown.defaultName, "untitled.png");
        EXPECT_EQ(gShown.title, "Save as");
        if (chosen) {
            EXPECT_EQ(FSSpecPath(file), answer);
            EXPECT_EQ(bool(replacing), answer == existing);
        }
    }
    Answer(existing);
    Str255 name;
    EXPECT_EQ(LoadPictureFile(name), nullptr) << "a file that holds no image";
    EXPECT_EQ(PStrView(name), "pic.png");
    Answer("");
    LoadPictureFile(name);
    EXPECT_EQ(PStrView(name), "Dummy");
}

TEST_F(EasyFile, FileListKeepsFourAndCountsAll) {
    for (size_t n : {size_t(0), size_t(1), size_t(4), size_t(6)}) {
        AEDescList list;
        for (size_t i = 0; i < n; i++) list.items.push_back(Write("f" + std::to_string(i), std::string()));
        FileList files{};
        EXPECT_EQ(AEDescListToFileList(list, files), noErr);
        EXPECT_EQ(files.Count, int16_t(n));
        for (size_t i = 0; i < std::min<size_t>(n, 4); i++) EXPECT_EQ(FSSpecPath(files.Items[i]), list.items[i]);
    }
}

TEST_F(EasyFile, TextLinesEndInACarriageReturnWithin255Bytes) {
    const std::string out = dir_ + "/out.txt";
    const FSSpec file = FileAt(out);
    int16_t ref = 0;
    auto write = [&](const std::string& text, bool line) {
        Str255 p;
        CopyToPStr(text, p, 255);
        EXPECT_EQ(line ? FileWriteLn(ref, p) : FileWrite(ref, p), noErr) << text.size();
    };
    ASSERT_EQ(PSPRewrite(ref, file, FourCC("TEXT"), FourCC("ttxt")), noErr);
    write("abc", true);
    write("", false);
    write(std::string(255, 'x'), true);
    write("yz", false);
    FSClose(ref);
    std::vector<uint8_t> expected = {'a', 'b', 'c', 13};
    expected.insert(expected.end(), 254, 'x');
    expected.insert(expected.end(), {13, 'y', 'z'});
    EXPECT_EQ(Read(out), expected);
    FInfo info;
    if (FSpGetFInfo(&file, &info) == noErr && info.fdType != 0) {
        EXPECT_EQ(info.fdType, FourCC("TEXT"));  // where the file system keeps user attributes
    }
    // Opening again starts at the beginning; rewriting starts afresh.
    ASSERT_EQ(PSPOpenFile(ref, file), noErr);
    write("AB", false);
    FSClose(ref);
    expected[0] = 'A', expected[1] = 'B';
    EXPECT_EQ(Read(out), expected);
    ASSERT_EQ(PSPRewrite(ref, file, FourCC("TEXT"), FourCC("ttxt")), noErr);
    FSClose(ref);
    EXPECT_TRUE(Read(out).empty());
    EXPECT_NE(PSPOpenFile(ref, FileAt(dir_ + "/missing.txt")), noErr);
}

TEST_F(EasyFile, PathsAreColonSeparatedFromTheRootAndCutAt255) {
    // The full path of a file's folder, by its folder and volume numbers, against the folder's own.
    auto check = [](const std::string& folder, size_t keep) {
        fs::create_directories(folder);
        const FSSpec file = FileAt(folder + "/file");
        Str255 path;
        GetFullPath(file.parID, file.vRefNum, path);
        std::string expected = fs::canonical(folder).string() + "/";
        std::replace(expected.begin(), expected.end(), '/', ':');
        EXPECT_EQ(PStrView(path), expected.substr(0, keep));
    };
    const std::string deep = dir_ + "/one/two";
    check(deep, std::string::npos);
    Str255 path;
    const std::string cwd = fs::current_path().string();
    fs::current_path(deep);
    GetAppDirName(path);
    EXPECT_EQ(PStrView(path), "two:");
    fs::current_path(cwd);
    // Deeper than 255 characters: the start of the path is kept.
    std::string longDir = dir_;
    for (int i = 0; i < 30; i++) longDir += "/folder" + std::to_string(i);
    check(longDir, 255);
}

// The desktop's opener and applications are scripts that write their arguments to a file.
TEST_F(EasyFile, DocumentsOpenWithTheDesktopsOpenerOrTheGivenProgram) {
    auto script = [&](const std::string& name, const std::string& out) {
        const std::string path = Write(name, "#!/bin/sh\necho \"$@\" > " + out + ".part && mv " + out + ".part " + out + "\n");
        fs::permissions(path, fs::perms::owner_all);
        return path;
    };
    auto waitFor = [](const std::string& path) {  // the programs run in the background
        for (int i = 0; i < 500 && !fs::exists(path); i++) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::ifstream in(path);
        std::string line;
        std::getline(in, line);
        return line;
    };
    LSSetDesktopOpener(script("opener", dir_ + "/opened"));
    const FSRef doc{Write("doc.pdf", std::string("%"))};
    EXPECT_EQ(OpenDocumentInSpecificApp(doc, nullptr), noErr);
    EXPECT_EQ(waitFor(dir_ + "/opened"), doc.path);
    const FSRef app{script("viewer", dir_ + "/viewed")};
    EXPECT_EQ(OpenDocumentInSpecificApp(doc, &app), noErr);
    EXPECT_EQ(waitFor(dir_ + "/viewed"), doc.path);
    const FSRef notAnApp{doc.path};
    EXPECT_EQ(OpenDocumentInSpecificApp(doc, &notAnApp), kLSApplicationNotFoundErr);

    Write("b.bundle/Contents/Info.plist", std::string());
    Write("b.bundle/Contents/Resources/help/manual.pdf", std::string("%"));
    CFBundleSetOwnBundlePath(dir_ + "/b.bundle");
    fs::remove(dir_ + "/opened");
    LaunchFileFromBundle("manual", "pdf", "help");
    EXPECT_EQ(waitFor(dir_ + "/opened"), dir_ + "/b.bundle/Contents/Resources/help/manual.pdf");
    LSSetDesktopOpener(dir_ + "/no-such-opener");
    EXPECT_EQ(OpenDocumentInSpecificApp(doc, nullptr), kLSApplicationNotFoundErr);
}
}  // namespace
