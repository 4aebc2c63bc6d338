// The stub's resources as the program sees them: every string in both
// languages byte for byte in Windows-1252, the dialog templates with the
// ids, places, sizes and styles the wizard code relies on, the picture as
// the system decodes it, and the version.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

HMODULE StubModule()
{
    static HMODULE module = LoadLibraryExA(SFX_STUB_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

std::string LoadText(UINT id)
{
    char buffer[4096];
    int length = LoadStringA(StubModule(), id, buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, length) : std::string("<missing>");
}

}  // namespace

TEST(StubStrings, EveryTextInBothLanguages)
{
    ASSERT_NE(StubModule(), nullptr);
    ASSERT_EQ(GetACP(), 1252u) << "the expected bytes below are Windows-1252";
    const struct {
        UINT id;
        const char* text;
    } expected[] = {
        {1, "W\xE4hlen Sie das Verzeichnis aus, in welches die Dateien f\xFCr die Installation extrahiert werden "
            "sollen. Das Verzeichnis mu\xDF nur dann ge\xE4ndert werden, wenn auf dem angegebenen Laufwerk nicht "
            "genug freier Speicherplatz vorhanden ist."},
        {2, "Select a directory to extract the archive to. This directory is used during the installation only - "
            "you only need to change it if there is insufficient disk space available."},
        {3, "Durchsuchen ..."}, {4, "Browse ..."},
        {5, "Bitte warten Sie, bis alle Dateien aus dem Archiv extrahiert wurden"},
        {6, "Please wait until all files are extracted from the archive"},
        {7, "Archiv wird gepr\xFC" "ft ..."}, {8, "Checking archive ..."},
        {9, "Extrahiere Datei ..."}, {10, "Extracting file ..."},
        {11, "&Beenden"}, {12, "&Finish"},
        {13, "&Abbrechen"}, {14, "&Cancel"},
        {15, "< &Zur\xFC" "ck"}, {16, "< &Previous"},
        {17, "&Weiter >"}, {18, "&Next >"},
        {19, "Brenlow - Selbstextrahierendes Archiv"}, {20, "Brenlow Self Extractor"},
        {21, "Fehler beim Anlegen eines Ordners\n"}, {22, "Could not create directory"},
        {23, "Nicht genug Speicher"}, {24, "Out of memory"},
        {25, "Fehler beim Lesen des Archivs"}, {26, "Error reading archive"},
        {27, "Fehler beim Anlegen einer Datei"}, {28, "Could not create file"},
        {29, "Fehler beim Schreiben einer Datei (Platte voll?)"}, {30, "Disk write error"},
        {31, "Extraktion der Dateien konnte nicht gestartet werden"}, {32, "Could not start archive extraction"},
        {35, "Die Archiv-Datei ist fehlerhaft"}, {36, "The archive file is corrupted"},
        {37, "&Beenden"}, {38, "E&xit"},
        {39, "Das Archiv ist verschl\xFCsselt - geben Sie bitte das Passwort ein!"},
        {40, "The archive is crypted - enter the password please!"},
        {41, "Das eingegebene Passwort ist nicht korrekt!\n\nGeben Sie bitte das korrekte Passwort ein!"},
        {42, "The given password is invalid!\n\nPlease enter the correct password!"},
        {43, "Das Programm %s konnte nicht gestartet werden.\n%s"}, {44, "Could not start the program %s.\n%s"},
        {47, "Dieses Paket nimmt keine Schalter an."}, {48, "This package takes no command-line switches."},
    };
    for (const auto& e : expected)
        EXPECT_EQ(LoadText(e.id), e.text) << "string " << e.id;
    // Ids without a text stay missing, so a fatal message falls back.
    EXPECT_EQ(LoadText(33), "<missing>");
    EXPECT_EQ(LoadText(49), "<missing>");
    // The switch help: a list in each language, with the examples.
    EXPECT_EQ(LoadText(45).substr(0, 9), "Schalter:");
    EXPECT_EQ(LoadText(46).substr(0, 9), "Switches:");
    for (int id : {45, 46})
        EXPECT_NE(LoadText(id).find("setup.exe /X /D=C:\\unpacked"), std::string::npos) << LoadText(id);
}

namespace {

struct ControlLayout {
    int id;
    const char* className;   // the template's atom turned into its class name
    short x, y, cx, cy;
    DWORD styleBits;         // bits that must be set
    const char* text;        // null: not checked
};

struct DialogLayout {
    int id;
    DWORD styleBits;
    DWORD styleAbsent;
    short cx, cy;
    std::vector<ControlLayout> controls;
};

struct ParsedControl {
    DWORD style;
    short x, y, cx, cy;
    int id;
    std::string className;
    std::string text;
};

struct ParsedDialog {
    DWORD style;
    short cx, cy;
    std::string font;
    WORD pointSize;
    std::vector<ParsedControl> controls;
};

class TemplateReader {
  public:
    explicit TemplateReader(const BYTE* p) : p_(p) {}
    WORD word() { WORD v; memcpy(&v, p_, 2); p_ += 2; return v; }
    DWORD dword() { DWORD v; memcpy(&v, p_, 4); p_ += 4; return v; }
    std::string text()
    {
        std::string out;
        for (WORD c = word(); c != 0; c = word())
            out += c < 0x100 ? static_cast<char>(c) : '?';
        return out;
    }
    // A name or an ordinal: 0xFFFF and a number, or a string.
    std::string nameOrOrdinal()
    {
        WORD first;
        memcpy(&first, p_, 2);
        if (first == 0xFFFF) {
            p_ += 2;
            return "#" + std::to_string(word());
        }
        return text();
    }
    void alignDword(const BYTE* base) { p_ = base + ((p_ - base + 3) & ~3); }

  private:
    const BYTE* p_;
};

// Class names are compared without case, as the window manager does; the
// predefined classes may also be stored as atoms.
std::string AtomClass(const std::string& name)
{
    if (name == "#128") return "button";
    if (name == "#129") return "edit";
    if (name == "#130") return "static";
    std::string lower = name;
    for (char& c : lower)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return lower;
}

ParsedDialog ParseDialog(int id)
{
    HRSRC found = FindResourceA(StubModule(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
    EXPECT_NE(found, nullptr) << "dialog " << id;
    const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(StubModule(), found)));
    TemplateReader r(base);
    ParsedDialog d;
    d.style = r.dword();
    r.dword();
    WORD count = r.word();
    r.word();
    r.word();
    d.cx = static_cast<short>(r.word());
    d.cy = static_cast<short>(r.word());
    r.nameOrOrdinal();
    r.nameOrOrdinal();
    r.text();
    d.pointSize = (d.style & DS_SETFONT) ? r.word() : 0;
    if (d.style & DS_SETFONT)
        d.font = r.text();
    for (WORD i = 0; i < count; i++) {
        r.alignDword(base);
        ParsedControl c;
        c.style = r.dword();
        r.dword();
        c.x = static_cast<short>(r.word());
        c.y = static_cast<short>(r.word());
        c.cx = static_cast<short>(r.word());
        c.cy = static_cast<short>(r.word());
        c.id = r.word();
        c.className = AtomClass(r.nameOrOrdinal());
        c.text = r.nameOrOrdinal();
        WORD extra = r.word();
        for (WORD k = 0; k < extra; k++)
            r.word();
        d.controls.push_back(c);
    }
    return d;
}

const DWORD kText = SS_LEFT | WS_GROUP | WS_VISIBLE;
const DWORD kPage = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | DS_SETFONT;

}  // namespace

TEST(StubDialogs, TemplatesAsTheWizardExpectsThem)
{
    const std::vector<DialogLayout> layouts = {
        {101, WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFONT, WS_SYSMENU | WS_CHILD, 342, 204,
         {{1017, "button", 207, 185, 62, 14, WS_VISIBLE | WS_TABSTOP, "< &Zur\xFC" "ck"},
          {1016, "button", 127, 185, 60, 14, WS_VISIBLE | WS_TABSTOP, "&Abbrechen"},
          {1018, "button", 274, 185, 61, 14, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, "&Weiter >"},
          {1020, "static", 5, 5, 79, 158, WS_VISIBLE | SS_BITMAP, "#120"},
          {1021, "static", 1, 171, 334, 1, WS_VISIBLE | SS_ETCHEDHORZ, nullptr}}},
        {102, kPage, WS_CAPTION, 300, 160,
         {{1019, "static", 0, 0, 300, 140, kText, "Intro"},
          {1035, "static", 0, 145, 300, 8, kText | SS_NOTIFY, ""}}},
        {122, kPage, WS_CAPTION, 300, 160,
         {{1037, "static", 0, 0, 250, 60, kText, ""},
          {1038, "edit", 0, 60, 299, 15, WS_BORDER | WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL, ""}}},
        {103, kPage, WS_CAPTION, 300, 160,
         {{1026, "static", 0, 0, 250, 60, kText, ""},
          {1027, "edit", 0, 60, 180, 15, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, ""},
          {1028, "button", 185, 60, 60, 15, WS_TABSTOP, ""}}},
        {104, kPage, WS_CAPTION, 300, 160,
         {{1029, "msctls_progress32", 0, 70, 245, 12, WS_VISIBLE, "Progress1"},
          {1031, "static", 0, 0, 250, 40, kText, "Static"},
          {1032, "static", 0, 55, 250, 10, kText, ""},
          {1033, "static", 0, 45, 250, 8, kText, ""}}},
        {105, kPage, WS_CAPTION, 300, 160, {{1025, "static", 0, 0, 295, 155, kText, "Finish"}}},
        {106, kPage, WS_CAPTION, 300, 160, {{1036, "static", 0, 0, 295, 155, kText, "Exit"}}},
    };
    ASSERT_NE(StubModule(), nullptr);
    for (const DialogLayout& layout : layouts) {
        SCOPED_TRACE("dialog " + std::to_string(layout.id));
        ParsedDialog d = ParseDialog(layout.id);
        EXPECT_EQ(d.style & layout.styleBits, layout.styleBits);
        EXPECT_EQ(d.style & layout.styleAbsent, 0u);
        EXPECT_EQ(d.cx, layout.cx);
        EXPECT_EQ(d.cy, layout.cy);
        EXPECT_EQ(d.font, "MS Sans Serif");
        EXPECT_EQ(d.pointSize, 8);
        ASSERT_EQ(d.controls.size(), layout.controls.size());
        for (size_t i = 0; i < d.controls.size(); i++) {
            const ParsedControl& c = d.controls[i];
            const ControlLayout& e = layout.controls[i];
            SCOPED_TRACE("control " + std::to_string(e.id));
            EXPECT_EQ(c.id, e.id);
            EXPECT_EQ(c.className, e.className);
            EXPECT_EQ(c.x, e.x);
            EXPECT_EQ(c.y, e.y);
            EXPECT_EQ(c.cx, e.cx);
            EXPECT_EQ(c.cy, e.cy);
            EXPECT_EQ(c.style & (e.styleBits | WS_CHILD), e.styleBits | WS_CHILD);
            if (e.text != nullptr) {
                EXPECT_EQ(c.text, e.text);
            }
        }
    }
}

namespace {

// A bitmap's pixels as 32-bit colours, top row first, the way the screen
// shows them.
std::vector<DWORD> ScreenPixels(HBITMAP bitmap, int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
    HDC screen = GetDC(nullptr);
    int rows = GetDIBits(screen, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(rows, height);
    return pixels;
}

}  // namespace

TEST(StubPicture, BitmapAndIconHaveTheirSizes)
{
    ASSERT_NE(StubModule(), nullptr);
    HRSRC bitmap = FindResourceA(StubModule(), MAKEINTRESOURCEA(120), MAKEINTRESOURCEA(2));
    ASSERT_NE(bitmap, nullptr);
    const auto* info = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(StubModule(), bitmap)));
    EXPECT_EQ(info->biWidth, 118);
    EXPECT_EQ(info->biHeight, 256);
    EXPECT_EQ(info->biBitCount, 8);
    // Run-length encoded, and the stated size is what the resource holds.
    EXPECT_EQ(info->biCompression, static_cast<DWORD>(BI_RLE8));
    EXPECT_EQ(info->biSize + 4 * 256 + info->biSizeImage, SizeofResource(StubModule(), bitmap));

    HRSRC group = FindResourceA(StubModule(), MAKEINTRESOURCEA(121), MAKEINTRESOURCEA(14));
    ASSERT_NE(group, nullptr);
    const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(StubModule(), group)));
    WORD count;
    memcpy(&count, dir + 4, 2);
    ASSERT_EQ(count, 2);
    std::vector<int> sizes;
    for (int i = 0; i < count; i++) {
        const BYTE* entry = dir + 6 + 14 * i;
        WORD bitCount;
        memcpy(&bitCount, entry + 6, 2);
        sizes.push_back(entry[0]);
        EXPECT_EQ(entry[2], 16) << "colours";
        EXPECT_EQ(bitCount, 4);
    }
    EXPECT_EQ(sizes, (std::vector<int>{32, 16}));
}

// The frame's picture control loads the bitmap as a screen bitmap; through
// that same call the run-length resource must give every pixel of the
// uncompressed drawing the build leaves beside it.
TEST(StubPicture, SystemDecodesTheDrawing)
{
    ASSERT_NE(StubModule(), nullptr);
    HBITMAP shown = static_cast<HBITMAP>(LoadImageA(StubModule(), MAKEINTRESOURCEA(120), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_NE(shown, nullptr);
    HBITMAP drawn = static_cast<HBITMAP>(LoadImageA(nullptr, SFX_WIZARD_PLAIN_PATH, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    ASSERT_NE(drawn, nullptr) << SFX_WIZARD_PLAIN_PATH;
    BITMAP size{};
    ASSERT_NE(GetObjectA(shown, sizeof size, &size), 0);
    EXPECT_EQ(size.bmWidth, 118);
    EXPECT_EQ(size.bmHeight, 256);

    std::vector<DWORD> shownPixels = ScreenPixels(shown, 118, 256);
    std::vector<DWORD> drawnPixels = ScreenPixels(drawn, 118, 256);
    size_t differing = 0;
    for (size_t i = 0; i < shownPixels.size(); i++)
        differing += (shownPixels[i] & 0xFFFFFF) != (drawnPixels[i] & 0xFFFFFF);
    EXPECT_EQ(differing, 0u) << "of " << shownPixels.size() << " pixels";
    // A gradient with an emblem, not an empty or one-coloured picture.
    std::vector<DWORD> colours;
    for (DWORD p : drawnPixels)
        colours.push_back(p & 0xFFFFFF);
    std::sort(colours.begin(), colours.end());
    EXPECT_GT(std::unique(colours.begin(), colours.end()) - colours.begin(), 200);
    DeleteObject(shown);
    DeleteObject(drawn);
}

TEST(StubManifest, AsksForNoElevationAndDeclaresDpiAndLongPaths)
{
    ASSERT_NE(StubModule(), nullptr);
    HRSRC found = FindResourceA(StubModule(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const char* data = static_cast<const char*>(LockResource(LoadResource(StubModule(), found)));
    std::string manifest(data, SizeofResource(StubModule(), found));
    for (const char* needle : {"level=\"asInvoker\" uiAccess=\"false\"", ">true</dpiAware>", ">System</dpiAwareness>",
                               ">true</longPathAware>", "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
                               "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_NE(manifest.find(needle), std::string::npos) << needle;
}

// The packer's version in the fixed part, which Windows shows as the file
// version and the packer reads back; no string table beside it.
TEST(StubVersion, FixedPartCarriesTheBuildsVersionAndNothingMore)
{
    ASSERT_NE(StubModule(), nullptr);
    HRSRC found = FindResourceA(StubModule(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));
    ASSERT_NE(found, nullptr);
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(StubModule(), found)));
    constexpr DWORD kFixedPartAt = 40;
    ASSERT_GE(SizeofResource(StubModule(), found), kFixedPartAt + sizeof(VS_FIXEDFILEINFO));
    EXPECT_LE(SizeofResource(StubModule(), found), kFixedPartAt + sizeof(VS_FIXEDFILEINFO) + 4);
    VS_FIXEDFILEINFO fixed;
    memcpy(&fixed, data + kFixedPartAt, sizeof fixed);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    std::string version = std::to_string(HIWORD(fixed.dwFileVersionMS)) + "." +
                          std::to_string(LOWORD(fixed.dwFileVersionMS)) + "." +
                          std::to_string(HIWORD(fixed.dwFileVersionLS));
    EXPECT_EQ(version, SFX_VERSION);
    EXPECT_EQ(fixed.dwProductVersionMS, fixed.dwFileVersionMS);
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
}
