// Telling orvanta-cli's outputs apart on the disk, and writing standard output with a check.
#include "cli/output_targets.h"

#include "base/atomic_file.h"
#include "base/file_identity.h"
#include "base/regular_file.h"
#include "base/runtime_error.h"
#include "input/series_loader.h"
#include "input/series_naming.h"
#include "output/picture_writer.h"
#include "retouch/strokes_file.h"
#include "settings/project_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

std::string outputPath(const std::string& value) { return value == "-" ? "/dev/stdout" : value; }

bool isWrittenThrough(const std::string& path) { return identifyFile(path).kind != FileIdentity::File; }

std::string defaultOutputName(const std::string& firstFile, const std::string& format) {
    std::string name = defaultMontageName(firstFile);
    if (!format.empty() && name.size() >= 3) {
        std::string ending;
        for (char c : format) ending += char(std::tolower(static_cast<unsigned char>(c)));
        name.resize(name.size() - 3);
        name += ending;
    }
    return name;
}

ProjectTargets projectTargets(const std::string& saveProject) {
    if (isWrittenThrough(saveProject)) return {saveProject, "", ""};
    const std::string project = completedProjectName(saveProject);
    return {project, projectBitmapName(project), retouch::strokesNameFor(project)};
}

namespace {

// The files --save-project writes: the project, its picture, and its strokes when the montage is
// retouched (--retouch, or an opened project's strokes).
std::vector<std::string> projectFiles(const CliOptions& o) {
    if (o.saveProject.empty()) return {};
    const ProjectTargets p = projectTargets(o.saveProject);
    std::vector<std::string> files{p.project};
    if (!p.picture.empty()) files.push_back(p.picture);
    if (!p.strokes.empty() && !o.retouchFile.empty()) files.push_back(p.strokes);
    return files;
}

} // namespace

std::vector<OutputTarget> outputTargets(const CliOptions& o) {
    std::vector<OutputTarget> t;
    t.push_back({"--output", o.output.empty() ? defaultOutputName(o.firstFile, o.format) : outputPath(o.output)});
    if (!o.mapFile.empty()) t.push_back({"--map", outputPath(o.mapFile)});
    if (!o.depthMapFile.empty()) t.push_back({"--depth-map", outputPath(o.depthMapFile)});
    if (!o.reportFile.empty()) t.push_back({"--report", outputPath(o.reportFile)});
    for (const std::string& file : projectFiles(o)) t.push_back({"--save-project", file});
    return t;
}

std::optional<std::string> outputClash(const std::vector<OutputTarget>& targets) {
    std::vector<FileIdentity> ids;
    for (const OutputTarget& t : targets) ids.push_back(identifyFile(t.path));
    // The montage and the depth map are pictures: on a descriptor, anything else written there
    // would be mixed into them.
    auto isPicture = [&](std::size_t k) { return k == 0 || targets[k].option == "--depth-map"; };
    for (std::size_t j = 0; j < targets.size(); ++j)
        for (std::size_t i = 0; i < j; ++i) {
            const bool clash = sameRegularFile(ids[i], ids[j]) ||
                               ((isPicture(i) || isPicture(j)) && ids[i].kind == FileIdentity::Descriptor &&
                                ids[j].kind == FileIdentity::Descriptor &&
                                ids[i].descriptor == ids[j].descriptor);
            if (!clash) continue;
            if (targets[i].option == targets[j].option)
                return targets[j].option + " would write the project and its picture both to " + targets[j].path +
                       ": end the project's name with .mon";
            return targets[j].option + " names the same file as " + targets[i].option;
        }
    return std::nullopt;
}

namespace {

// The file an output stands for; standard output and the other descriptors by the file they are
// open on, which a redirection (`>> s04.bmp`) may have made a picture of the series.
FileIdentity writtenFile(const std::string& path) {
    FileIdentity id = identifyFile(path);
    struct stat st{};
    if (id.kind != FileIdentity::Descriptor || ::fstat(id.descriptor, &st) != 0 || !S_ISREG(st.st_mode)) return id;
    FileIdentity open;
    open.exists = true;
    open.device = st.st_dev;
    open.inode = st.st_ino;
    return open;
}

} // namespace

std::optional<std::string> seriesClash(const std::vector<OutputTarget>& targets, const std::vector<std::string>& pictures) {
    std::vector<FileIdentity> written;
    for (const OutputTarget& t : targets) written.push_back(writtenFile(t.path));
    // Picture by picture, so that the first picture of the series named is the one said.
    for (std::size_t k = 0; k < pictures.size(); ++k) {
        if (pictures[k].empty()) continue;
        const FileIdentity picture = identifyFile(pictures[k]);
        for (std::size_t i = 0; i < targets.size(); ++i) {
            if (!sameRegularFile(written[i], picture)) continue;
            const std::string which = "picture " + std::to_string(k + 1) + " of the series (" + pictures[k] + ")";
            const int fd = descriptorNamed(targets[i].path);
            if (fd < 0) return targets[i].option + " names " + which + ": the run would replace it";
            return std::string(fd == 1 ? "standard output" : "standard error") + ", where " + targets[i].option +
                   " goes, is " + which + ": the run would write into it";
        }
    }
    return std::nullopt;
}

std::optional<std::string> standardOutputClash(const std::vector<OutputTarget>& targets) {
    for (const OutputTarget& out : targets) {
        const int fd = descriptorNamed(out.path);
        if (fd < 0) continue;
        // A descriptor open on a terminal, a pipe or /dev/null is nobody's file.
        const FileIdentity open = writtenFile(out.path);
        if (open.kind != FileIdentity::File) continue;
        for (const OutputTarget& t : targets)
            if (descriptorNamed(t.path) < 0 && sameRegularFile(identifyFile(t.path), open))
                return std::string(fd == 1 ? "standard output" : "standard error") + ", where " + out.option +
                       " goes, is the file " + t.option + " names (" + t.path +
                       "): the one would be lost under the other; name another file";
    }
    return std::nullopt;
}

std::optional<std::string> inputClash(const std::vector<OutputTarget>& targets, const std::vector<OutputTarget>& inputs) {
    for (const OutputTarget& in : inputs) {
        if (in.path.empty()) continue;
        const FileIdentity read = identifyFile(in.path);
        for (const OutputTarget& t : targets) {
            // A project saved over the one opened is written from what was read: it is meant.
            if (t.option == "--save-project" || !sameRegularFile(identifyFile(t.path), read)) continue;
            return t.option + " names the file " + in.option + " reads (" + in.path + "): the run would replace it";
        }
    }
    return std::nullopt;
}

std::optional<std::string> standardErrorClash(const std::vector<OutputTarget>& targets) {
    struct stat err{};
    const bool errOpen = ::fstat(2, &err) == 0;
    // A FIFO or a terminal is read by someone; /dev/null, which stands for standard error as
    // often as not, mixes nothing.
    const bool errRead = errOpen && (S_ISFIFO(err.st_mode) || ::isatty(2));
    for (std::size_t k = 0; k < targets.size(); ++k) {
        const OutputTarget& t = targets[k];
        if (k != 0 && t.option != "--depth-map") continue;
        const FileIdentity id = identifyFile(t.path);
        const bool clash = id.kind == FileIdentity::Descriptor
                               ? id.descriptor == 2
                               : id.kind == FileIdentity::Through && errRead && id.device == err.st_dev &&
                                     id.inode == err.st_ino;
        if (clash)
            return t.option + " names standard error (" + t.path +
                   "), where the messages go: they would be mixed into the picture; name a file, or - for "
                   "standard output";
    }
    return std::nullopt;
}

namespace {

// What making the temporary file beside `path`, or taking the place of the file there, would raise:
// the same checks the atomic writers make, without making anything.
std::optional<RuntimeError> unwritableTarget(const std::string& path) {
    if (descriptorNamed(path) >= 0) return std::nullopt;
    std::string target;
    try {
        target = followLinks(path);
    } catch (const RuntimeError& e) {
        return e;
    }
    struct stat st{};
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) return std::nullopt;
        if (!S_ISREG(st.st_mode)) return RuntimeError(75);
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return RuntimeError(70);
    }
    // The temporary file is made in the target's folder: it must be a folder the user may write in.
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    if (::stat(folder.c_str(), &st) != 0) return RuntimeError(errno == EACCES ? 70 : 75);
    if (!S_ISDIR(st.st_mode)) return RuntimeError(75);
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return RuntimeError(errno == EACCES || errno == EROFS ? 70 : 75);
    if (const int refused = replacementRefusal(target)) return RuntimeError(refused);
    return std::nullopt;
}

} // namespace

std::optional<UnwritableOutput> firstUnwritableOutput(const CliOptions& o, const std::string& picture) {
    std::vector<std::string> names;
    if (!picture.empty()) names.push_back(picture);
    for (const std::string* value : {&o.mapFile, &o.depthMapFile, &o.reportFile})
        if (!value->empty()) names.push_back(outputPath(*value));
    // The project's picture and strokes are written before the project, which never names a
    // missing one.
    std::vector<std::string> project = projectFiles(o);
    if (!project.empty()) std::rotate(project.begin(), project.begin() + 1, project.end());
    names.insert(names.end(), project.begin(), project.end());
    for (const std::string& name : names)
        if (std::optional<RuntimeError> e = unwritableTarget(name)) return UnwritableOutput{name, *e};
    return std::nullopt;
}

bool pictureToStandardOutput(const CliOptions& o) {
    return descriptorNamed(outputPath(o.output)) == 1 ||
           (!o.depthMapFile.empty() && descriptorNamed(outputPath(o.depthMapFile)) == 1);
}

void releaseWaitingReaders(const std::vector<OutputTarget>& targets) {
    for (const OutputTarget& t : targets) {
        std::string target = t.path;
        try {
            target = followLinks(t.path);
        } catch (const RuntimeError&) {
            continue;
        }
        struct stat st{};
        if (::stat(target.c_str(), &st) != 0 || !S_ISFIFO(st.st_mode)) continue;
        // Without a reader the open fails at once (ENXIO); with one, the close ends its read.
        const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
    }
}

void CheckedOutput::write(const std::string& text) {
    std::size_t done = 0;
    while (error_ == 0 && done < text.size()) {
        const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno != EINTR) error_ = errno;
            continue;
        }
        done += std::size_t(n);
    }
}

std::string CheckedOutput::failure() const { return error_ ? std::strerror(error_) : std::string(); }

std::vector<std::string> guardedPictures(const std::string& firstFile, const IgnoreTicks& ignored) {
    // The pictures there are now, as far as a run could read them; none when the name is no series
    // name (the run then says why).
    const std::string completed = completeSeriesName(firstFile, currentFolder());
    std::vector<std::string> pictures = seriesFilesThere(completed);
    std::optional<SeriesName> series;
    try {
        series = parseSeriesName(completed);
    } catch (const RuntimeError&) {
    }
    if (!series || pictures.empty()) return pictures;
    auto place = [&](long long k, std::string name) {
        if (pictures.size() < std::size_t(k)) pictures.resize(std::size_t(k));
        pictures[std::size_t(k - 1)] = std::move(name);
    };
    for (std::size_t before = 0; before != pictures.size();) {
        before = pictures.size();
        const std::optional<SeriesGap> gap = seriesGapAfter(*series, (long long)before);
        for (long long k = gap ? gap->laterFile : 0; gap && k <= kMaxSeriesPictures && series->offset + k <= 32767;
             ++k) {
            std::string name = series->fileName(k);
            if (!isRegularFile(name)) break;
            place(k, std::move(name));
        }
    }
    for (std::size_t k = 1; k <= ignored.size(); ++k) {
        const bool placed = k <= pictures.size() && !pictures[k - 1].empty();
        if (ignored[k - 1] && !placed && isRegularFile(series->fileName((long long)k)))
            place((long long)k, series->fileName((long long)k));
    }
    return pictures;
}


std::vector<OutputTarget> withStandardOutputText(const CliOptions& o, std::vector<OutputTarget> targets) {
    if (!pictureToStandardOutput(o) && (o.reportFile.empty() || o.score || !o.evaluate.empty()))
        targets.push_back({o.reportFile.empty() ? "the report" : o.score ? "the score" : "the recommendation",
                           "/dev/stdout"});
    return targets;
}

} // namespace orv
