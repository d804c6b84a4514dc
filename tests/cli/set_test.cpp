// `pictra set`: the attribute edits on their own, the choice of the saver
// that keeps an icon's own format, and edits of every Amiga icon of the
// corpus read back through the module.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "amiga_edit.h"
#include "amiga_patch.h"
#include "png_icon_patch.h"
#include "amiga_set.h"
#include "errors.h"
#include "extract.h"
#include "icon_file.h"
#include "own_format.h"
#include "session.h"
#include "test_support.h"

namespace pictra::cli {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

AmigaAttributes project() {
    AmigaAttributes a;
    a.type = 4;
    a.currentX = 10;
    a.currentY = 20;
    a.stackSize = 4096;
    a.defaultTool = "SYS:Utilities/MultiView";
    a.toolTypes = {"PUBSCREEN=Workbench", "DONOTWAIT", "Tooltype=old", "(DISABLED=1)"};
    return a;
}

TEST(AmigaEdit, EditsChangeOnlyWhatTheyName) {
    struct Case {
        const char* name;
        AttributeEdit edit;
        std::vector<std::string> toolTypes;  // expected
    };
    const std::vector<std::string> same = project().toolTypes;
    std::vector<Case> cases(9);
    cases[0] = {"stack", {}, same};
    cases[0].edit.stackSize = 65536;
    cases[1] = {"remove by name, any case", {}, {"PUBSCREEN=Workbench", "Tooltype=old", "(DISABLED=1)"}};
    cases[1].edit.removeToolTypes = {"donotwait", "MISSING"};
    cases[2] = {"remove compares the part before =", {}, {"PUBSCREEN=Workbench", "DONOTWAIT", "(DISABLED=1)"}};
    cases[2].edit.removeToolTypes = {"TOOLTYPE"};
    cases[3] = {"set replaces in place", {}, {"PUBSCREEN=Workbench", "DONOTWAIT", "TOOLTYPE=new", "(DISABLED=1)"}};
    cases[3].edit.setToolTypes = {"TOOLTYPE=new"};
    cases[4] = {"set adds a missing name", {}, {"PUBSCREEN=Workbench", "DONOTWAIT", "Tooltype=old", "(DISABLED=1)", "CX_PRI=5"}};
    cases[4].edit.setToolTypes = {"CX_PRI=5"};
    cases[5] = {"clear, then add", {}, {"A", "B=1"}};
    cases[5].edit.clearToolTypes = true;
    cases[5].edit.addToolTypes = {"A", "B=1"};
    cases[6] = {"remove before set before add", {}, {"PUBSCREEN=Workbench", "DONOTWAIT", "(DISABLED=1)", "X=2", "Tooltype=3"}};
    cases[6].edit.removeToolTypes = {"tooltype"};
    cases[6].edit.setToolTypes = {"X=2"};
    cases[6].edit.addToolTypes = {"Tooltype=3"};
    cases[7] = {"default tool removed", {}, same};
    cases[7].edit.defaultTool = std::optional<std::string>();
    cases[8] = {"position and type", {}, same};
    cases[8].edit.position = std::array<int32_t, 2>{kNoIconPosition, kNoIconPosition};
    cases[8].edit.type = 3;

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AmigaAttributes after = applyEdit(project(), c.edit);
        EXPECT_EQ(after.toolTypes, c.toolTypes);
        AmigaAttributes rest = after;
        rest.toolTypes = project().toolTypes;
        AmigaAttributes expected = project();
        if (c.edit.stackSize) expected.stackSize = *c.edit.stackSize;
        if (c.edit.defaultTool) expected.defaultTool = *c.edit.defaultTool;
        if (c.edit.position) expected.currentX = expected.currentY = kNoIconPosition;
        if (c.edit.type) expected.type = *c.edit.type;
        EXPECT_EQ(rest, expected);
        EXPECT_FALSE(c.edit.empty());
    }
    EXPECT_TRUE(AttributeEdit{}.empty());
}

TEST(AmigaEdit, DrawerSettingsNeedADrawer) {
    AttributeEdit edit;
    edit.drawer = std::array<int32_t, 4>{1, 2, 300, 200};
    edit.drawerShowAll = true;
    EXPECT_EQ(editProblem(project(), edit).value_or(""),
              "--drawer, --view-mode and --show-all apply to icons that open a window (disk, drawer, garbage); "
              "this one is of type 4 (project)");
    edit.type = kDrawerType;  // made a drawer by the same edit
    EXPECT_FALSE(editProblem(project(), edit));
    const AmigaAttributes after = applyEdit(project(), edit);
    EXPECT_EQ(std::tie(after.drawerLeft, after.drawerTop, after.drawerWidth, after.drawerHeight, after.drawerShowAll),
              std::make_tuple(1, 2, 300, 200, 1));
}

TEST(AmigaEdit, ChangesAreShownLineByLine) {
    AmigaAttributes after = project();
    after.stackSize = 8192;
    after.type = 2;
    after.currentX = kNoIconPosition;
    after.defaultTool.reset();
    after.toolTypes = {"DONOTWAIT", "NEW=\xE9", "PUBSCREEN=Workbench", "(DISABLED=1)"};
    EXPECT_EQ(describeChanges(project(), after),
              (std::vector<std::string>{"type: 4 (project) -> 2 (drawer)", "currentX: 10 -> none",
                                        "stackSize: 4096 -> 8192",
                                        "defaultTool: \"SYS:Utilities/MultiView\" -> (none)",
                                        "toolTypes: - \"Tooltype=old\"", "toolTypes: + \"NEW=\xC3\xA9\""}));
    after = project();
    std::swap(after.toolTypes[0], after.toolTypes[1]);
    EXPECT_EQ(describeChanges(project(), after),
              std::vector<std::string>{"toolTypes: the same entries in another order"});
    after.toolTypes = project().toolTypes;
    after.toolTypes.push_back("DONOTWAIT");
    EXPECT_EQ(describeChanges(project(), after), std::vector<std::string>{"toolTypes: + \"DONOTWAIT\""});
    EXPECT_TRUE(describeChanges(project(), project()).empty());
}

TEST(AmigaEdit, OptionValuesAreCheckedAndConverted) {
    EXPECT_EQ(parseIconType("Drawer"), 2);
    EXPECT_EQ(parseIconType("APPICON"), 8);
    EXPECT_EQ(parseIconType("255"), 255);
    EXPECT_EQ(parsePosition("-5,12"), (std::array<int32_t, 2>{-5, 12}));
    EXPECT_EQ(parseDrawer("-32768,32767,65535,0"), (std::array<int32_t, 4>{-32768, 32767, 65535, 0}));
    EXPECT_TRUE(parseYesNo("YES"));
    EXPECT_FALSE(parseYesNo("no"));
    EXPECT_EQ(iconText("Caf\xC3\xA9", true), "Caf\xE9");
    EXPECT_EQ(iconText("", false), "");
    EXPECT_EQ(toolTypeAssignment("A=b=c"), "A=b=c");
    const std::vector<std::function<void()>> refused{
        [] { parseIconType("folder"); },      [] { parseIconType("0"); },
        [] { parseIconType("256"); },         [] { parsePosition("1"); },
        [] { parsePosition("1,2,3"); },       [] { parsePosition("1,x"); },
        [] { parsePosition("-2147483648,0"); },  // that value means "no position"
        [] { parseDrawer("1,2,3"); },         [] { parseDrawer("1,2,3,65536"); },
        [] { parseDrawer("1,2,-3,4"); },      [] { parseDrawer("32768,2,3,4"); },      [] { parseYesNo("1"); },
        [] { parseNumber("12k", 0, 100); },   [] { parseNumber("", 0, 100); },
        [] { iconText("\xE2\x82\xAC", false); },  // the euro sign is not ISO-8859-1
        [] { iconText("\xFF", false); },       [] { iconText("", true); },
        [] { toolTypeAssignment("NAME"); },    [] { toolTypeAssignment("=VALUE"); },
    };
    for (std::size_t i = 0; i < refused.size(); ++i) EXPECT_THROW(refused[i](), std::invalid_argument) << i;
}

// The corpus, with the kind of each file as the corpus's own classifier saw
// it: the saver that keeps that kind.
std::map<std::string, std::string> classifiedSavers() {
    std::map<std::string, std::string> savers;
    std::ifstream features(fs::path(PICTRA_TEST_CORPUS) / "features.tsv");
    for (std::string line; std::getline(features, line);) {
        if (!line.starts_with("amiga/") || line.starts_with("amiga/malformed")) continue;
        const std::string file = line.substr(0, line.find('\t'));
        const std::size_t form = line.find(" form=");
        const std::string chunks = form == std::string::npos ? "" : line.substr(form, line.find(' ', form + 1) - form);
        savers[file] = line.find("\tamiga-png") != std::string::npos ? "PNG"
                       : chunks.find("ARGB") != std::string::npos ? "AMIGAOS40"
                       : chunks.find("IMAG") != std::string::npos ? "AMIGAOS35"
                       : line.find(" newicons=") != std::string::npos ? "NEWICON"
                                                                      : "AMIGAOS";
    }
    return savers;
}

class SetOnCorpus : public test::ScratchTest {
protected:
    static void SetUpTestSuite() {
        std::string error;
        session_ = Session::open(PICTRA_TEST_MODULE, error).release();
        ASSERT_NE(session_, nullptr) << error;
    }
    static void TearDownTestSuite() {
        delete session_;
        session_ = nullptr;
    }
    void TearDown() override {
        host::clearFileWriteLimit();
        ScratchTest::TearDown();
    }

    // A copy of a corpus file in the scratch folder.
    std::string copy(const std::string& corpusFile, const std::string& name = "icon.info") {
        const std::string target = path(name);
        fs::copy_file(fs::path(PICTRA_TEST_CORPUS) / corpusFile, target, fs::copy_options::overwrite_existing);
        return target;
    }

    static Session* session_;
};

Session* SetOnCorpus::session_ = nullptr;

// What a picture shows: its depth may only grow (a 1-bit classic picture is
// written with two planes), the rest must stay.
struct Pictures {
    std::vector<std::string> shapes;
    std::vector<int32_t> depths;
    std::vector<std::vector<uint32_t>> pixels;
};

void expectSamePictures(const Pictures& after, const Pictures& before) {
    EXPECT_EQ(after.shapes, before.shapes);
    EXPECT_EQ(after.pixels, before.pixels);
    ASSERT_EQ(after.depths.size(), before.depths.size());
    for (std::size_t i = 0; i < before.depths.size(); ++i) EXPECT_GE(after.depths[i], before.depths[i]) << i;
}

Pictures picturesOf(const Session& session, const LoadedIcon& icon) {
    Pictures pictures;
    for (const IconImage* image = session.entry().getIconImages(icon.record.get()); image; image = image->next) {
        std::ostringstream shape;
        shape << image->width << 'x' << image->height << " f" << image->flags << " t" << image->transparentPen;
        pictures.depths.push_back(image->depth);
        pictures.shapes.push_back(shape.str());
        std::string error;
        pictures.pixels.push_back(expandPicture(*image, error).value_or(std::vector<uint32_t>{}));
    }
    return pictures;
}

TEST_F(SetOnCorpus, EveryAmigaFileIsWrittenBackByTheSaverOfItsKind) {
    std::size_t checked = 0;
    for (const auto& [file, saver] : classifiedSavers()) {
        const std::string full = (fs::path(PICTRA_TEST_CORPUS) / file).string();
        const LoadedIcon icon = loadIconFile(*session_, full);
        const Bytes bytes = test::readFile(full);
        EXPECT_EQ(ownSaverName(icon.format, *icon.record, bytes), saver) << file;
        ++checked;
    }
    EXPECT_GT(checked, 200u);
}

// Every edit on every Amiga icon of the corpus: either the icon reads back
// with the edit made, its pictures, its other attributes and its kind as
// they were, or the tool refuses it and leaves every byte in place. Every
// icon has its attribute parts rewritten; an edit is refused only when an
// old-style icon (which keeps no view mode and no show-all flag) is asked
// for them. The counts are pinned so that a change shows.
TEST_F(SetOnCorpus, EditsReadBackAndEverythingElseStays) {
    struct Edit {
        const char* name;
        AttributeEdit edit;
    };
    std::vector<Edit> edits(11);
    edits[0] = {"stack", {}};
    edits[0].edit.stackSize = 123456;
    edits[1] = {"default tool", {}};
    edits[1].edit.defaultTool = std::optional<std::string>("Work:Programs/Viewer \xE9");
    edits[2] = {"no default tool", {}};
    edits[2].edit.defaultTool = std::optional<std::string>();
    edits[3] = {"add tool types", {}};
    edits[3].edit.addToolTypes = {"DONOTWAIT", "PUBSCREEN=Workbench"};
    edits[4] = {"set and remove", {}};
    edits[4].edit.setToolTypes = {"CX_PRIORITY=3"};
    edits[4].edit.removeToolTypes = {"DONOTWAIT"};
    edits[5] = {"clear tool types", {}};
    edits[5].edit.clearToolTypes = true;
    edits[6] = {"position", {}};
    edits[6].edit.position = std::array<int32_t, 2>{17, 300};
    edits[7] = {"no position", {}};
    edits[7].edit.position = std::array<int32_t, 2>{kNoIconPosition, kNoIconPosition};
    edits[8] = {"type", {}};
    edits[8].edit.type = 3;
    edits[9] = {"drawer window", {}};
    edits[9].edit.type = kDrawerType;
    edits[9].edit.drawer = std::array<int32_t, 4>{40, 30, 400, 250};
    edits[9].edit.drawerViewMode = 3;
    edits[9].edit.drawerShowAll = true;
    edits[10] = {"all at once", {}};
    edits[10].edit = edits[0].edit;
    edits[10].edit.defaultTool = edits[1].edit.defaultTool;
    edits[10].edit.addToolTypes = edits[3].edit.addToolTypes;
    edits[10].edit.position = edits[6].edit.position;

    std::map<std::string, std::pair<int, int>> outcomes;  // saver: done, refused
    for (const auto& [file, saver] : classifiedSavers()) {
        const std::string original = (fs::path(PICTRA_TEST_CORPUS) / file).string();
        const LoadedIcon before = loadIconFile(*session_, original);
        const Pictures pictures = picturesOf(*session_, before);
        const AmigaAttributes attributes = copyAttributes(file, before.attributes);
        const Bytes bytes = test::readFile(original);
        bool refused = false;
        for (const Edit& edit : edits) {
            SCOPED_TRACE(file + ": " + edit.name);
            const std::string icon = copy(file);
            try {
                const SetReport report = setIconAttributes(*session_, icon, edit.edit, false);
                EXPECT_EQ(report.saver, saver);
                EXPECT_EQ(report.patched, !report.changes.empty());
                const LoadedIcon after = loadIconFile(*session_, icon);
                EXPECT_EQ(copyAttributes(icon, after.attributes), applyEdit(attributes, edit.edit));
                expectSamePictures(picturesOf(*session_, after), pictures);
                EXPECT_EQ(ownSaverName(after.format, *after.record, test::readFile(icon)), saver);
            } catch (const FileError& error) {
                refused = true;
                EXPECT_TRUE(std::string(error.what()).starts_with("left unchanged: saving it as " + saver + " would "))
                    << error.what();
                EXPECT_EQ(test::readFile(icon), bytes);
            }
            EXPECT_EQ(listing(), std::vector<std::string>{"icon.info"});
        }
        auto& [done, refusals] = outcomes[saver];
        ++(refused ? refusals : done);
    }
    // Files that took every edit when this was written: more is progress.
    const std::map<std::string, int> done{
        {"AMIGAOS", 39}, {"AMIGAOS35", 77}, {"AMIGAOS40", 38}, {"NEWICON", 33}, {"PNG", 40}};
    for (const auto& [saver, counts] : outcomes) {
        std::printf("%s: %d done, %d refused\n", saver.c_str(), counts.first, counts.second);
        EXPECT_GE(counts.first, done.at(saver)) << saver;
    }
}

// A corpus file, the layout offsets between which the edits lie, and what
// the module reads from the patched file.
struct PatchedIcon {
    Bytes bytes;
    AmigaAttributes wanted;
    AmigaAttributes read;
    std::optional<std::string> pictures;  // pictureDifference()
};

class PatchOnCorpus : public SetOnCorpus {
protected:
    PatchedIcon patched(const std::string& file, const AttributeEdit& edit) {
        const std::string original = (fs::path(PICTRA_TEST_CORPUS) / file).string();
        const LoadedIcon before = loadIconFile(*session_, original);
        PatchedIcon out;
        const AmigaAttributes attributes = copyAttributes(file, before.attributes);
        out.wanted = applyEdit(attributes, edit);
        std::string problem;
        const Bytes content = test::readFile(original);
        const auto bytes = before.format == "PNG" ? patchPngIconAttributes(content, attributes, out.wanted, problem)
                                                  : patchAmigaAttributes(content, out.wanted, problem);
        EXPECT_TRUE(bytes) << problem;
        out.bytes = bytes.value_or(Bytes());
        const LoadedIcon after = loadIconFile(*session_, scratchFile("patched.info", out.bytes));
        out.read = copyAttributes(file, after.attributes);
        out.pictures = pictureDifference(session_->entry().getIconImages(before.record.get()),
                                         session_->entry().getIconImages(after.record.get()));
        return out;
    }
};

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t to) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

// One file of each kind: the module reads the edit back with the pictures
// as they were, and only the attribute parts change: the Gadget, the
// pictures before the texts and everything from `tailAt` on (NewIcons
// lines, a FORM ICON, bytes after the texts) keep their bytes; in a PNG
// icon everything but the icOn chunk between the two offsets.
TEST_F(PatchOnCorpus, OnlyTheAttributePartsChange) {
    const std::tuple<const char*, std::size_t, std::size_t, bool> files[] = {  // classic layout
        {"amiga/classic/AROS-mirror__muibuilder_Misc_MUIBuilder2.info", 1078, 1131, true},
        {"amiga/classic/Voyager__release_icons_magicwb_Vaporware.info", 1182, 1232, true},  // old-style
        {"amiga/newicons/AROS__external_openurl_dist_OpenURL_Install.info", 1110, 1186, true},  // the " " line
        {"amiga/os35/ACEBasic__docs_ACE_Tutorial.guide.info", 1174, 1211, true},
        {"amiga/os4/netsurf__amiga_dist_Install.info", 4534, 4628, true},
        // PNG icons: the icOn chunk, of the first PNG and of two back to back
        {"amiga/png/AmiBlitz3__AmiBlitz3_Tools_LibMan.info", 2507, 2551, false},
        {"amiga/png/AmiTube__Icons_AmigaSystem_AmiTube-1-64.info", 4679, 4784, false},
    };
    std::vector<AttributeEdit> edits(3);
    edits[0].stackSize = 50000;
    edits[0].position = std::array<int32_t, 2>{-3, 70000};
    edits[1].defaultTool = std::optional<std::string>("C:More \xE9");
    edits[1].addToolTypes = {"NEW=1", "DONOTWAIT"};
    edits[2].clearToolTypes = true;
    edits[2].defaultTool = std::optional<std::string>();
    for (const auto& [file, textsAt, tailAt, classic] : files) {
        const Bytes original = test::readFile(fs::path(PICTRA_TEST_CORPUS) / file);
        for (std::size_t e = 0; e < edits.size(); ++e) {
            SCOPED_TRACE(std::string(file) + ", edit " + std::to_string(e));
            const PatchedIcon icon = patched(file, edits[e]);
            EXPECT_EQ(icon.read, icon.wanted);
            EXPECT_FALSE(icon.pictures) << *icon.pictures;
            ASSERT_GE(icon.bytes.size(), textsAt);
            const std::size_t tail = original.size() - tailAt;
            EXPECT_EQ(slice(icon.bytes, 0, 50), slice(original, 0, 50));
            EXPECT_EQ(slice(icon.bytes, 78, textsAt), slice(original, 78, textsAt));
            EXPECT_EQ(slice(icon.bytes, icon.bytes.size() - tail, icon.bytes.size()), slice(original, tailAt, original.size()));
            // The position and the stack are header words only.
            if (e == 0 && classic) {
                EXPECT_EQ(slice(icon.bytes, 78, icon.bytes.size()), slice(original, 78, original.size()));
            }
        }
    }
}

// A drawer window dropped with the type, added to a tool, or given new
// flags in an extension before a FORM ICON.
TEST_F(PatchOnCorpus, DrawerWindowsComeAndGo) {
    const std::string drawer = "amiga/classic/AROS-mirror__Low-level_PTdatatype_ProtrackerDT.info";
    const std::string tool = "amiga/classic/AROS-mirror__muibuilder_Misc_MUIBuilder2.info";
    const std::string beforeForm = "amiga/classic/texteditor__dist_MCC_TextEditor_Demos.info";
    AttributeEdit toTool;
    toTool.type = 3;
    AttributeEdit toDrawer;
    toDrawer.type = kDrawerType;
    toDrawer.drawer = std::array<int32_t, 4>{-20, 30, 400, 250};
    toDrawer.drawerViewMode = 3;
    toDrawer.drawerShowAll = true;
    AttributeEdit flags;
    flags.drawerViewMode = 2;
    flags.drawerShowAll = true;
    const std::ptrdiff_t window = 56 + 6;  // DrawerData and its extension
    const std::tuple<std::string, AttributeEdit, std::ptrdiff_t> cases[] = {
        {drawer, toTool, -window},
        {tool, toDrawer, window},
        {beforeForm, flags, 0},
    };
    for (const auto& [file, edit, grown] : cases) {
        SCOPED_TRACE(file);
        const PatchedIcon icon = patched(file, edit);
        EXPECT_EQ(icon.read, icon.wanted);
        EXPECT_FALSE(icon.pictures) << *icon.pictures;
        const Bytes original = test::readFile(fs::path(PICTRA_TEST_CORPUS) / file);
        EXPECT_EQ(static_cast<std::ptrdiff_t>(icon.bytes.size()) - static_cast<std::ptrdiff_t>(original.size()), grown);
    }
}

// Damage the walk meets in the file, each made from a good file by one
// change, and every cut of the file: refused with the reason, never read
// past the end.
TEST(AmigaPatch, DamagedFilesAreRefused) {
    const Bytes good = test::readFile(fs::path(PICTRA_TEST_CORPUS) /
                                      "amiga/classic/AROS-mirror__muibuilder_Misc_MUIBuilder2.info");
    std::string problem;
    ASSERT_TRUE(patchAmigaAttributes(good, project(), problem)) << problem;
    const std::tuple<std::size_t, uint32_t, const char*> damage[] = {
        {0, 0xE3100002, "the file does not begin with an Amiga icon's header"},
        {78 + 8, 0x00090000, "a picture runs past the end of the file"},    // depth 9
        {78 + 4, 0xFFFFFFFF, "a picture runs past the end of the file"},    // 65535 x 65535
        {1078, 0xFFFFFFFF, "the default tool runs past the end of the file"},
        {1083, 0xFFFFFFFC, "the tool types run past the end of the file"},  // 2^30 - 2 strings
        {1087, 0x7FFFFFFF, "the tool types run past the end of the file"},
        {70, 1, "the tool window runs past the end of the file"},
    };
    for (const auto& [at, word, reason] : damage) {
        Bytes bad = good;
        for (int i = 0; i < 4; ++i) bad[at + i] = static_cast<uint8_t>(word >> (24 - 8 * i));
        problem.clear();
        EXPECT_FALSE(patchAmigaAttributes(bad, project(), problem)) << at;
        EXPECT_EQ(problem, reason) << at;
    }
    for (std::size_t size = 0; size < good.size(); ++size) {
        problem.clear();
        EXPECT_FALSE(patchAmigaAttributes(std::span(good).first(size), project(), problem)) << size;
        EXPECT_FALSE(problem.empty()) << size;
    }
}

TEST(AmigaPatch, DamagedPngIconsAreRefused) {
    const Bytes good = test::readFile(fs::path(PICTRA_TEST_CORPUS) /
                                      "amiga/png/AmiTube__Icons_AmigaSystem_AmiTube-1-64.info");
    std::string problem;
    ASSERT_TRUE(patchPngIconAttributes(good, project(), project(), problem)) << problem;
    const std::tuple<std::size_t, uint8_t, const char*> damage[] = {
        {0, 0x88, "the file is not a PNG"},
        {4679, 0x80, "the PNG ends before its IEND chunk"},                // icOn length 2^31 + 101
        {4779, 'x', "an item of the icOn chunk runs past its end"},        // the last text without its zero
        {4683, 'I', "the PNG holds no icOn chunk"},                        // "IcOn"
    };
    for (const auto& [at, byte, reason] : damage) {
        Bytes bad = good;
        bad[at] = byte;
        problem.clear();
        EXPECT_FALSE(patchPngIconAttributes(bad, project(), project(), problem)) << at;
        EXPECT_EQ(problem, reason) << at;
    }
    for (std::size_t size = 0; size < 4784; ++size) {  // up to the end of the icOn chunk
        problem.clear();
        EXPECT_FALSE(patchPngIconAttributes(std::span(good).first(size), project(), project(), problem)) << size;
        EXPECT_FALSE(problem.empty()) << size;
    }
}

// The host keeps no byte past the limit, as on a full disk: the failed
// save is reported and the icon keeps every byte.
TEST_F(SetOnCorpus, AFullDiskLeavesTheIconAsItWas) {
    const std::string icon = copy("amiga/png/AmiBlitz3__AmiBlitz3_Tools_LibMan.info");
    const Bytes before = test::readFile(icon);
    AttributeEdit edit;
    edit.addToolTypes = {"MORE=TEXT"};
    for (const std::size_t limit : {0, 100, 2000}) {
        host::limitFileWrites(limit);
        try {
            setIconAttributes(*session_, icon, edit, false);
            ADD_FAILURE() << limit;
        } catch (const FileError& error) {
            EXPECT_STREQ(error.what(), "cannot write: the file could not be stored in full");
        }
        host::clearFileWriteLimit();
        EXPECT_EQ(test::readFile(icon), before) << limit;
        EXPECT_EQ(listing(), std::vector<std::string>{"icon.info"});
    }
    setIconAttributes(*session_, icon, edit, false);
    EXPECT_NE(test::readFile(icon), before);
}

// A link keeps pointing at the icon, which is edited; a dry run shows the
// change and leaves the icon alone; an edit that changes nothing writes
// nothing.
TEST_F(SetOnCorpus, LinksDryRunsAndEditsThatChangeNothing) {
    const std::string icon = copy("amiga/classic/AROS-mirror__Kiel_Jump_JumpEd.info");
    fs::create_symlink("icon.info", path("link.info"));
    AttributeEdit edit;
    edit.stackSize = 4000;
    const Bytes before = test::readFile(icon);
    const SetReport dry = setIconAttributes(*session_, path("link.info"), edit, true);
    EXPECT_EQ(dry.saver, "AMIGAOS");
    EXPECT_EQ(dry.changes, std::vector<std::string>{"stackSize: 8192 -> 4000"});
    EXPECT_EQ(test::readFile(icon), before);

    setIconAttributes(*session_, path("link.info"), edit, false);
    EXPECT_TRUE(fs::is_symlink(path("link.info")));
    EXPECT_EQ(loadIconFile(*session_, icon).attributes.stackSize, 4000);
    const auto written = fs::last_write_time(icon);
    EXPECT_TRUE(setIconAttributes(*session_, icon, edit, false).changes.empty());
    EXPECT_EQ(fs::last_write_time(icon), written);
    EXPECT_EQ(listing(), (std::vector<std::string>{"icon.info", "link.info"}));
}

}  // namespace
}  // namespace pictra::cli
