// The preferences store on a large file: read plus write of 100,000
// entries through oxPreferences against pugixml loading and saving the
// same content as XML and against the floor of the job, and the growth of
// removing every key.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "oxFloorFiles.h"
#include "oxPreferences.h"
#include "oxProperties.h"
#include "oxPropertiesText.h"

namespace {
const int theEntryCount = 100000;

std::string keyAt(int inIndex) {
    return "Setting.Group" + std::to_string(inIndex % 97) + "-Key_" + std::to_string(inIndex);
}

// Typical values, every tenth needing escapes.
std::string valueAt(int inIndex) {
    if (inIndex % 10 == 0)
        return "HOST\\SQL <" + std::to_string(inIndex) + "> & \"quoted\" 'x'";
    return "value number " + std::to_string(inIndex) + " of the generated table";
}

struct oxLargeFiles {
    oxLargeFiles() {
        std::filesystem::path directory = std::filesystem::temp_directory_path() / "oxPreferencesBench";
        std::filesystem::create_directories(directory);
        itsConfig = (directory / "preferences.cfg").string();
        itsXml = (directory / "preferences.xml").string();
        itsXmlCopy = (directory / "preferences-saved.xml").string();
        itsFloor = (directory / "floor.cfg").string();
        itsFloorTemporary = (directory / "floor.cfg.tmp").string();
        itsDirectory = directory.string();
        oxProperties table;
        for (int index = 0; index < theEntryCount; ++index)
            table.set(keyAt(index), valueAt(index));
        std::ofstream config(itsConfig, std::ios::binary | std::ios::trunc);
        oxPropertiesText::writeTo(table, config, true);
        pugi::xml_document document;
        pugi::xml_node root = document.append_child("preferences");
        for (int index = 0; index < theEntryCount; ++index)
            root.append_child(keyAt(index).c_str()).append_attribute("value") = valueAt(index).c_str();
        document.save_file(itsXml.c_str());
        std::filesystem::copy_file(itsConfig, itsFloor, std::filesystem::copy_options::overwrite_existing);
    }
    std::string itsConfig;
    std::string itsFloor;
    std::string itsFloorTemporary;
    std::string itsDirectory;
    std::string itsXml;
    std::string itsXmlCopy;
};

const oxLargeFiles& largeFiles() {
    static const oxLargeFiles theFiles;
    return theFiles;
}
}  // namespace

static void preferencesReadAndWrite(benchmark::State& ioState) {
    const oxLargeFiles& files = largeFiles();
    for (auto _ : ioState) {
        oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
        store.setFileName(files.itsConfig);
        if (!store.read() || !store.write(true))
            ioState.SkipWithError("read or write failed");
    }
}
BENCHMARK(preferencesReadAndWrite)->Unit(benchmark::kMillisecond);

static void preferencesReadOnly(benchmark::State& ioState) {
    const oxLargeFiles& files = largeFiles();
    for (auto _ : ioState) {
        oxPreferences store(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
        store.setFileName(files.itsConfig);
        if (!store.read())
            ioState.SkipWithError("read failed");
    }
}
BENCHMARK(preferencesReadOnly)->Unit(benchmark::kMillisecond);

static void pugixmlLoadAndSave(benchmark::State& ioState) {
    const oxLargeFiles& files = largeFiles();
    for (auto _ : ioState) {
        pugi::xml_document document;
        if (!document.load_file(files.itsXml.c_str()) || !document.save_file(files.itsXmlCopy.c_str()))
            ioState.SkipWithError("load or save failed");
    }
}
BENCHMARK(pugixmlLoadAndSave)->Unit(benchmark::kMillisecond);

// What no store can beat: the same file's bytes read, written to a
// temporary beside it, synced, renamed over the old one and the folder
// synced; no parsing, no rendering.
static void floorReadAndReplace(benchmark::State& ioState) {
    const oxLargeFiles& files = largeFiles();
    std::string bytes;
    for (auto _ : ioState) {
        if (!oxFloorFiles::readWhole(files.itsFloor, bytes) ||
            !oxFloorFiles::writeWholeAndSync(files.itsFloorTemporary, bytes) ||
            rename(files.itsFloorTemporary.c_str(), files.itsFloor.c_str()) != 0 ||
            !oxFloorFiles::syncDirectory(files.itsDirectory))
            ioState.SkipWithError("floor step failed");
        std::string().swap(bytes);  // each run allocates afresh, as a store's read does
    }
}
BENCHMARK(floorReadAndReplace)->Unit(benchmark::kMillisecond);

static void removeEveryKey(benchmark::State& ioState) {
    const int count = static_cast<int>(ioState.range(0));
    std::vector<std::string> keys;
    for (int index = 0; index < count; ++index)
        keys.push_back(keyAt(index));
    for (auto _ : ioState) {
        ioState.PauseTiming();
        oxProperties table;
        for (int index = 0; index < count; ++index)
            table.set(keys[index], "v");
        ioState.ResumeTiming();
        // Middle out, so neither end of the order is favoured.
        for (int index = count / 2; index < count; ++index)
            table.remove(keys[index]);
        for (int index = 0; index < count / 2; ++index)
            table.remove(keys[index]);
    }
    ioState.SetComplexityN(count);
}
BENCHMARK(removeEveryKey)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);
