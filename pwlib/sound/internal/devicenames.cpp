// The names of the sound devices and what they open, including the environment override.
#include <pwlib/sound/internal/alsadevice.h>
#include <pwlib/sound/internal/devicenames.h>
#include <pwlib/sound/internal/paceddevice.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

namespace pwlib::sound
{

const char kDefaultDeviceName[] = "Default";
const char kNullDeviceName[] = "Null";

namespace
{

const char kFilePrefix[] = "file:";

std::string CardDeviceName(const AlsaPcm &pcm)
{
    std::string name = pcm.cardName;
    if (!pcm.pcmName.empty() && pcm.pcmName != pcm.cardName)
        name += ": " + pcm.pcmName;
    return name + " (hw:" + std::to_string(pcm.card) + "," + std::to_string(pcm.device) + ")";
}

/// "plughw:C,D" for a name that ends in " (hw:C,D)", else empty.
std::string CardPcmOf(const std::string &name)
{
    size_t open = name.rfind(" (hw:");
    if (open == std::string::npos || name.back() != ')')
        return std::string();
    std::string address = name.substr(open + 5, name.size() - open - 6);
    size_t comma = address.find(',');
    if (comma == std::string::npos || comma == 0 || comma + 1 == address.size() ||
        address.find_first_not_of("0123456789,") != std::string::npos ||
        address.find(',', comma + 1) != std::string::npos)
        return std::string();
    return "plughw:" + address;
}

/// The file a file player writes: the path, or a new file in the directory it names.
std::string PlayerFilePath(const std::string &path)
{
    static std::atomic<unsigned> opened{0};
    std::error_code ec;
    if (!path.empty() && (path.back() == '/' || std::filesystem::is_directory(path, ec))) {
        std::string dir = path.back() == '/' ? path : path + "/";
        return dir + "player-" + std::to_string(getpid()) + "-" + std::to_string(++opened) +
               ".wav";
    }
    return path;
}

} // namespace

std::unique_ptr<SoundDevice> OpenDevice(const DeviceTarget &target, Direction direction,
                                        const PcmFormat &format, const BufferConfig &buffers)
{
    switch (target.kind) {
    case DeviceTarget::Null:
        if (direction == Direction::Player)
            return std::make_unique<PacedPlayer>(format, buffers, nullptr);
        return std::make_unique<PacedRecorder>(format, buffers, nullptr);
    case DeviceTarget::File:
        if (direction == Direction::Player) {
            auto writer = WavWriter::Create(PlayerFilePath(target.path), format);
            if (writer == nullptr)
                return nullptr;
            return std::make_unique<PacedPlayer>(format, buffers, std::move(writer));
        } else {
            WavError error;
            auto reader = WavReader::Open(target.path, format, error);
            if (reader == nullptr || reader->FileFrames() == 0) {
                errno = error == WavError::NotFound ? ENOENT : EINVAL;
                return nullptr;
            }
            return std::make_unique<PacedRecorder>(format, buffers, std::move(reader));
        }
    case DeviceTarget::Alsa:
        break;
    }
    return OpenAlsaDevice(target.path, direction, format, buffers);
}

DeviceTarget ResolveNameOnly(const std::string &name)
{
    if (name == kNullDeviceName || name == "null")
        return {DeviceTarget::Null, std::string()};
    if (name.rfind(kFilePrefix, 0) == 0)
        return {DeviceTarget::File, name.substr(sizeof(kFilePrefix) - 1)};
    if (name == kDefaultDeviceName || name.empty())
        return {DeviceTarget::Alsa, "default"};
    std::string card = CardPcmOf(name);
    return {DeviceTarget::Alsa, card.empty() ? name : card};
}

std::vector<std::string> DeviceNames(Direction direction)
{
    std::vector<std::string> names{kDefaultDeviceName};
    for (const AlsaPcm &pcm : EnumerateAlsaPcms(direction))
        names.push_back(CardDeviceName(pcm));
    names.push_back(kNullDeviceName);
    return names;
}

DeviceTarget ResolveDeviceName(const std::string &name, Direction direction)
{
    DeviceTarget target = ResolveNameOnly(name);
    if (target.kind != DeviceTarget::Alsa)
        return target;
    const char *specific = std::getenv(direction == Direction::Player ? "KESTRELIN_SOUND_PLAYER"
                                                                      : "KESTRELIN_SOUND_RECORDER");
    const char *general = std::getenv("KESTRELIN_SOUND");
    const char *override = specific != nullptr && *specific != '\0' ? specific : general;
    if (override != nullptr && *override != '\0')
        return ResolveNameOnly(override);
    return target;
}

} // namespace pwlib::sound
