#include "tools/contenttree/ContentDescription.h"

#include <strings.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "tools/manifest/Description.h"

namespace Quor::Tools::ContentTree {

FileSpec& ReleaseSpec::AddFile(const std::string& name, DWORD flags, const std::string& bytes) {
    files.push_back({name, version, flags, bytes});
    return files.back();
}

ReleaseSpec& ProductSpec::AddRelease(DWORD version, const std::vector<std::string>& regions) {
    releases.emplace_back();
    releases.back().version = version;
    releases.back().regions = regions;
    return releases.back();
}

ReleaseSpec* ProductSpec::FindRelease(DWORD version) {
    for (ReleaseSpec& release : releases)
        if (release.version == version) return &release;
    return nullptr;
}

const ReleaseSpec* ProductSpec::FindRelease(DWORD version) const {
    return const_cast<ProductSpec*>(this)->FindRelease(version);
}

ProductSpec& ContentDescription::AddProject(const std::string& name) {
    projects.push_back({name, {}, {}, {}});
    return projects.back();
}

ProductSpec& ContentDescription::AddSolution(const std::string& name) {
    solutions.push_back({name, {}, {}, {}});
    return solutions.back();
}

namespace {

std::vector<std::string> SplitBlanks(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char c = text[++i];
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 's' ? ' ' : c;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Bytes that depend only on size and seed.
std::string RandomBytes(DWORD size, uint64_t seed) {
    std::mt19937_64 random(seed);
    std::string bytes(size, '\0');
    for (size_t i = 0; i < bytes.size(); i += 8) {
        uint64_t word = random();
        for (size_t k = i; k < i + 8 && k < bytes.size(); ++k, word >>= 8) bytes[k] = static_cast<char>(word);
    }
    return bytes;
}

uint64_t NameSeed(const std::string& name) {
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

class Reader {
public:
    Reader(const std::string& path, ContentDescription& description) : m_path(path), m_description(description) {
        m_folder = std::filesystem::path(path).parent_path().string();
    }

    bool Run(std::string& error) {
        std::ifstream in(m_path);
        if (!in) {
            error = m_path + ": cannot open";
            return false;
        }
        std::string line;
        for (m_line = 1; std::getline(in, line); ++m_line) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const size_t first = line.find_first_not_of(" \t");
            if (first == std::string::npos || line[first] == '#') continue;
            if (!Line(line.substr(first))) {
                error = m_path + ":" + std::to_string(m_line) + ": " + m_error;
                return false;
            }
        }
        return true;
    }

private:
    bool Fail(const std::string& why) {
        m_error = why;
        return false;
    }

    bool Version(const std::string& text, DWORD& version) {
        if (ParseVersion(text, version)) return true;
        return Fail("\"" + text + "\" is no version a.b.c.d");
    }

    bool Number(const std::string& text, DWORD& value) {
        if (ParseNumber(text, value)) return true;
        return Fail("\"" + text + "\" is no number");
    }

    bool Line(const std::string& text) {
        const std::vector<std::string> words = SplitBlanks(text);
        const std::string& keyword = words[0];
        if (keyword == "downloadpath" && words.size() == 2) {
            m_description.downloadPath = words[1];
            return true;
        }
        if ((keyword == "project" || keyword == "solution") && words.size() == 2) {
            m_product = &(keyword == "project" ? m_description.AddProject(words[1]) : m_description.AddSolution(words[1]));
            m_release = nullptr;
            m_isSolution = keyword == "solution";
            return true;
        }
        if (!m_product) return Fail("\"" + keyword + "\" before the first project or solution");
        if (keyword == "listing" && words.size() == 2) {
            m_product->regionListings.push_back(words[1]);
            return true;
        }
        if (keyword == "versionlisting" && words.size() >= 3) {
            std::vector<DWORD> versions(words.size() - 2);
            for (size_t i = 2; i < words.size(); ++i)
                if (!Version(words[i], versions[i - 2])) return false;
            m_product->versionListing.emplace_back(words[1], versions);
            return true;
        }
        if (keyword == "release" && words.size() >= 2) {
            DWORD version = 0;
            if (!Version(words[1], version)) return false;
            if (m_product->FindRelease(version)) return Fail("release " + words[1] + " is described twice");
            m_release = &m_product->AddRelease(version);
            for (size_t i = 2; i < words.size(); ++i) {
                if (words[i] == "unlisted")
                    m_release->listed = false;
                else
                    m_release->regions.push_back(words[i]);
            }
            return true;
        }
        if (!m_release) return Fail("\"" + keyword + "\" outside a release");
        if (m_isSolution) return SolutionLine(words);
        if (keyword == "packages" && words.size() == 2) return Number(words[1], m_release->binBytes);
        if (keyword == "patch" && words.size() >= 2) return PatchLine(words);
        if (keyword == "file") return FileLine(text.substr(4));
        return Fail("unknown line \"" + keyword + "\" in a project release");
    }

    bool SolutionLine(const std::vector<std::string>& words) {
        if (words[0] == "member" && (words.size() == 4 || words.size() == 5)) {
            ReleaseSpec::Project project;
            project.name = words[1];
            if (!Version(words[2], project.version) || !Number(words[3], project.priority)) return false;
            if (words.size() == 5 && !Number(words[4], project.flags)) return false;
            m_release->projects.push_back(project);
            return true;
        }
        if (words[0] == "configuration" && words.size() >= 2) {
            m_release->configurations.emplace_back(words[1],
                                                   std::vector<std::string>(words.begin() + 2, words.end()));
            return true;
        }
        return Fail("unknown line \"" + words[0] + "\" in a solution release");
    }

    bool PatchLine(const std::vector<std::string>& words) {
        PatchSpec patch;
        if (!Version(words[1], patch.source)) return false;
        for (size_t i = 2; i < words.size(); ++i) {
            if (words[i] == "zlib") {
                patch.form = 0x01;
            } else if (words[i] == "lzma") {
                patch.form = 0x04;
            } else if (words[i] == "packages" && i + 1 < words.size()) {
                if (!Number(words[++i], patch.binBytes)) return false;
            } else {
                return Fail("unknown patch option \"" + words[i] + "\"");
            }
        }
        m_release->patches.push_back(patch);
        return true;
    }

    // "<name> <version|-> <flags> <content>": the name is everything before the last three fields.
    bool FileLine(const std::string& rest) {
        std::vector<std::string> words = SplitBlanks(rest);
        if (words.size() < 4) return Fail("expected: file name version flags content");
        const std::string content = words[words.size() - 1];
        const std::string flagsText = words[words.size() - 2];
        const std::string versionText = words[words.size() - 3];
        size_t end = rest.find_last_not_of(" \t");
        for (int field = 0; field < 3; ++field) {
            end = rest.find_last_of(" \t", end);
            end = rest.find_last_not_of(" \t", end);
        }
        const size_t begin = rest.find_first_not_of(" \t");
        FileSpec file;
        file.name = rest.substr(begin, end - begin + 1);
        file.version = m_release->version;
        if (versionText != "-" && !Version(versionText, file.version)) return false;
        if (!Number(flagsText, file.flags)) return false;
        if (!Content(content, file)) return false;
        m_release->files.push_back(file);
        return true;
    }

    bool Content(const std::string& content, FileSpec& file) {
        if (content == "empty") return true;
        if (content.rfind("text:", 0) == 0) {
            file.bytes = Unescape(content.substr(5));
            return true;
        }
        if (content.rfind("random:", 0) == 0 || content.rfind("zeros:", 0) == 0) {
            const bool random = content[0] == 'r';
            std::string arguments = content.substr(random ? 7 : 6);
            std::string seedText;
            const size_t colon = arguments.find(':');
            if (colon != std::string::npos) {
                seedText = arguments.substr(colon + 1);
                arguments.resize(colon);
            }
            DWORD size = 0, seed = 0;
            if (!Number(arguments, size) || (!seedText.empty() && !Number(seedText, seed))) return false;
            file.bytes = random ? RandomBytes(size, seedText.empty() ? NameSeed(file.name) : seed)
                                : std::string(size, '\0');
            return true;
        }
        if (content[0] == '@') {
            std::filesystem::path source(content.substr(1));
            if (source.is_relative()) source = std::filesystem::path(m_folder) / source;
            std::ifstream in(source, std::ios::binary);
            if (!in) return Fail("cannot read \"" + source.string() + "\"");
            std::ostringstream bytes;
            bytes << in.rdbuf();
            file.bytes = bytes.str();
            return true;
        }
        if (content == "same") {
            const ReleaseSpec* origin = m_product->FindRelease(file.version);
            if (origin && origin != m_release)
                for (const FileSpec& other : origin->files)
                    if (strcasecmp(other.name.c_str(), file.name.c_str()) == 0) {
                        file.bytes = other.bytes;
                        return true;
                    }
            return Fail("\"same\": release " + VersionText(file.version) + " described before has no \"" +
                        file.name + "\"");
        }
        return Fail("unknown content \"" + content + "\"");
    }

    std::string m_path;
    std::string m_folder;
    ContentDescription& m_description;
    ProductSpec* m_product = nullptr;
    ReleaseSpec* m_release = nullptr;
    bool m_isSolution = false;
    int m_line = 0;
    std::string m_error;
};

}  // namespace

bool ReadContentDescription(const std::string& path, ContentDescription& description, std::string& error) {
    return Reader(path, description).Run(error);
}

}  // namespace Quor::Tools::ContentTree
