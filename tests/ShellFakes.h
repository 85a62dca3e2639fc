#pragma once

#include "app/Services.h"

#include <map>
#include <string>
#include <vector>

// The profile as a map, counting writes.
struct MapProfile : Profile {
    std::map<std::string, int> ints;
    std::vector<std::string> recent;
    int intWrites = 0;
    int GetProfileInt(const std::string& s, const std::string& k, int d) override {
        auto it = ints.find(s + "/" + k);
        return it == ints.end() ? d : it->second;
    }
    void WriteProfileInt(const std::string& s, const std::string& k, int v) override {
        ++intWrites;
        ints[s + "/" + k] = v;
    }
    std::vector<std::string> RecentFiles() override { return recent; }
    void WriteRecentFiles(const std::vector<std::string>& p) override { recent = p; }
};

struct DirLocation : ProgramLocation {
    std::string dir;
    std::string ProgramDirectory() override { return dir; }
};

// The frame: keeps the title and what was asked of it.
struct RecordingFrame : FrameView {
    std::vector<std::string> events;
    std::string title;
    void ShowMainWindow() override { events.push_back("show"); }
    void TitleChanged(const std::string& t) override { title = t; }
    void RecentFilesChanged(const std::vector<std::string>&) override {}
    void CloseMainWindow() override { events.push_back("close"); }
};
