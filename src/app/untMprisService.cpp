#include "app/untMprisService.h"

#include "app/untCommandLine.h"
#include "app/untFrmMain.h"
#include "app/untMpris.h"
#include "audio/untAudioPlayer.h"
#include "audio/untSongTags.h"
#include "controls/untSkinSlider.h"
#include "platform/net/NetAddress.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace zv2::app {

namespace {

constexpr char kConnectionName[] = "zv2player-mpris";
constexpr char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";
constexpr char kIntrospectableInterface[] = "org.freedesktop.DBus.Introspectable";

constexpr char kIntrospection[] = R"(  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg name="Offset" type="x" direction="in"/></method>
    <method name="SetPosition">
      <arg name="TrackId" type="o" direction="in"/>
      <arg name="Position" type="x" direction="in"/>
    </method>
    <method name="OpenUri"><arg name="Uri" type="s" direction="in"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="Rate" type="d" access="read"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="readwrite"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
  <interface name="org.freedesktop.DBus.Properties">
    <method name="Get">
      <arg name="interface_name" type="s" direction="in"/>
      <arg name="property_name" type="s" direction="in"/>
      <arg name="value" type="v" direction="out"/>
    </method>
    <method name="GetAll">
      <arg name="interface_name" type="s" direction="in"/>
      <arg name="properties" type="a{sv}" direction="out"/>
    </method>
    <method name="Set">
      <arg name="interface_name" type="s" direction="in"/>
      <arg name="property_name" type="s" direction="in"/>
      <arg name="value" type="v" direction="in"/>
    </method>
    <signal name="PropertiesChanged">
      <arg name="interface_name" type="s"/>
      <arg name="changed_properties" type="a{sv}"/>
      <arg name="invalidated_properties" type="as"/>
    </signal>
  </interface>
  <interface name="org.freedesktop.DBus.Introspectable">
    <method name="Introspect"><arg name="xml_data" type="s" direction="out"/></method>
  </interface>
)";

const QStringList kRootMethods = {"Raise", "Quit"};
const QStringList kPlayerMethods = {"Next", "Previous", "Pause",       "PlayPause", "Stop",
                                    "Play", "Seek",     "SetPosition", "OpenUri"};

void Diagnostic(const QString& text) {
    std::fprintf(stderr, "mpris: %s\n", text.toLocal8Bit().constData());
}

} // namespace

// The object at /org/mpris/MediaPlayer2. D-Bus calls may arrive on the bus's
// own thread; each is handled on the window's thread.
class TMprisService::TObject final : public QDBusVirtualObject {
public:
    explicit TObject(Tfrm_Main& window) : W(window) {}

    QDBusConnection Bus{QString()};

    QString introspect(const QString&) const override { return QString::fromUtf8(kIntrospection); }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
        QMetaObject::invokeMethod(
            this, [this, message] { Handle(message); }, Qt::QueuedConnection);
        return true;
    }

    // Sends what changed once the current turn of the event loop is done.
    void ScheduleRefresh() {
        if (RefreshPending_)
            return;
        RefreshPending_ = true;
        QMetaObject::invokeMethod(
            this, [this] { Refresh(); }, Qt::QueuedConnection);
    }

    // Announces what changed since the last refresh; the first one (`announce`
    // false) only takes the values as they are.
    void Refresh(bool announce = true) {
        RefreshPending_ = false;
        const TMprisState state = MprisStateOf(Input());
        const std::vector<std::string> changed = ChangedMprisProperties(Last_, state);
        Last_ = state;
        if (changed.empty() || !announce)
            return;
        QVariantMap values;
        for (const std::string& name : changed)
            values.insert(QString::fromStdString(name), PlayerProperty(QString::fromStdString(name)));
        QDBusMessage signal =
            QDBusMessage::createSignal(MprisObjectPath, kPropertiesInterface, QStringLiteral("PropertiesChanged"));
        signal << QString(MprisPlayerInterface) << values << QStringList();
        Bus.send(signal);
    }

private:
    TMprisInput Input() {
        TMprisInput in;
        const audio::TAudioPlayer* player = W.Player();
        const TPlaybackControl* playback = W.Playback();
        if (!player || !playback)
            return in;
        in.PlayerState = player->State();
        in.SongsStarted = playback->SongsStarted;
        in.FileName = player->FileName();
        in.Position = player->Position();
        in.Length = player->Length();
        if (Song_.Of != in.SongsStarted) {
            Song_ = SongOf(in.FileName);
            Song_.Of = in.SongsStarted;
        }
        in.TagTitle = Song_.Title;
        in.Artists = Song_.Artists;
        in.Album = Song_.Album;
        in.ArtUrl = Song_.ArtUrl;
        in.DurationUs = Song_.DurationUs;
        in.AudioStart = Song_.AudioStart;
        in.Volume = player->CurrentVolume();
        if (const lyrics::TLRCDisplay* display = W.LyricDisplay())
            in.LyricLine = ShownLyricLine(*display);
        in.Rows = W.PlayList().Count();
        in.LastPlayed = W.PlayList().LastPlayed;
        return in;
    }

    // What a song's file says of it, with its cover kept in the program
    // folder; read once per start of a song.
    struct TSong {
        std::uint32_t Of = 0; // the start (SongsStarted) this belongs to
        std::string Title, Album, ArtUrl;
        std::vector<std::string> Artists;
        std::int64_t DurationUs = 0;
        std::uint32_t AudioStart = 0;
    };

    TSong SongOf(const std::string& fileName) const {
        TSong song;
        const auto tags = fileName.empty() ? std::nullopt : audio::ReadSongTags(fileName);
        if (!tags)
            return song;
        song.Title = tags->Title;
        song.Artists = tags->Artists;
        song.Album = tags->Album;
        song.DurationUs = tags->DurationMs * 1000;
        song.AudioStart = tags->AudioOffset;
        std::string error;
        if (const std::string cover = audio::CoverFile(*tags, W.ProgramFolder() + "Covers/", &error); !cover.empty())
            song.ArtUrl = FileUri(cover);
        else if (!error.empty())
            Diagnostic(QString::fromStdString("the cover of " + fileName + " cannot be kept: " + error));
        return song;
    }

    static QStringList Texts(const std::vector<std::string>& texts) {
        QStringList list;
        for (const std::string& text : texts)
            list << QString::fromStdString(text);
        return list;
    }

    QVariantMap Metadata(const TMprisState& s) const {
        QVariantMap m;
        m.insert("mpris:trackid", QVariant::fromValue(QDBusObjectPath(QString::fromStdString(s.TrackId))));
        if (s.TrackId == MprisNoTrack)
            return m;
        m.insert("xesam:title", QString::fromStdString(s.Title));
        m.insert("xesam:url", QString::fromStdString(s.Url));
        if (!s.Artists.empty())
            m.insert("xesam:artist", Texts(s.Artists));
        if (!s.Album.empty())
            m.insert("xesam:album", QString::fromStdString(s.Album));
        if (!s.ArtUrl.empty())
            m.insert("mpris:artUrl", QString::fromStdString(s.ArtUrl));
        if (s.LengthUs > 0)
            m.insert("mpris:length", qlonglong(s.LengthUs));
        if (!s.Comment.empty())
            m.insert("xesam:comment", QStringList{QString::fromStdString(s.Comment)});
        return m;
    }

    // The value of a property of the Player interface; invalid for an unknown name.
    QVariant PlayerProperty(const QString& name) {
        const TMprisInput in = Input();
        const TMprisState s = MprisStateOf(in);
        if (name == "PlaybackStatus")
            return QString::fromStdString(s.PlaybackStatus);
        if (name == "Rate" || name == "MinimumRate" || name == "MaximumRate")
            return 1.0;
        if (name == "Metadata")
            return Metadata(s);
        if (name == "Volume")
            return s.Volume;
        if (name == "Position")
            return qlonglong(MprisMicroseconds(in, in.Position));
        if (name == "CanGoNext")
            return s.CanGoNext;
        if (name == "CanGoPrevious")
            return s.CanGoPrevious;
        if (name == "CanPlay")
            return s.CanPlay;
        if (name == "CanPause")
            return s.CanPause;
        if (name == "CanSeek")
            return s.CanSeek;
        if (name == "CanControl")
            return true;
        return {};
    }

    QVariant RootProperty(const QString& name) const {
        if (name == "CanQuit" || name == "CanRaise")
            return true;
        if (name == "HasTrackList")
            return false;
        if (name == "Identity")
            return QString::fromUtf8(kMainCaption);
        if (name == "DesktopEntry")
            return QString(kDesktopName);
        if (name == "SupportedUriSchemes" || name == "SupportedMimeTypes")
            return QStringList();
        return {};
    }

    QVariant Property(const QString& interface, const QString& name) {
        if (interface == MprisRootInterface)
            return RootProperty(name);
        if (interface == MprisPlayerInterface)
            return PlayerProperty(name);
        return {};
    }

    QVariantMap AllProperties(const QString& interface) {
        static const QStringList root = {"CanQuit",           "CanRaise",     "HasTrackList",
                                         "Identity",          "DesktopEntry", "SupportedUriSchemes",
                                         "SupportedMimeTypes"};
        static const QStringList player = {"PlaybackStatus", "Rate",        "Metadata",  "Volume",        "Position",
                                           "MinimumRate",    "MaximumRate", "CanGoNext", "CanGoPrevious", "CanPlay",
                                           "CanPause",       "CanSeek",     "CanControl"};
        QVariantMap all;
        for (const QString& name : interface == MprisRootInterface     ? root
                                   : interface == MprisPlayerInterface ? player
                                                                       : QStringList())
            all.insert(name, Property(interface, name));
        return all;
    }

    void Reply(const QDBusMessage& message, const QList<QVariant>& arguments = {}) {
        if (message.isReplyRequired())
            Bus.send(message.createReply(arguments));
    }
    void Fail(const QDBusMessage& message, const QString& error, const QString& text) {
        if (message.isReplyRequired())
            Bus.send(message.createErrorReply(error, text));
    }

    void Handle(const QDBusMessage& message) {
        if (message.type() != QDBusMessage::MethodCallMessage)
            return;
        const QString member = message.member();
        QString interface = message.interface();
        if (interface.isEmpty()) // a call may leave the interface out
            interface = kRootMethods.contains(member)     ? QString(MprisRootInterface)
                        : kPlayerMethods.contains(member) ? QString(MprisPlayerInterface)
                                                          : QString();
        const QList<QVariant> args = message.arguments();
        if (interface == kIntrospectableInterface && member == "Introspect") {
            Reply(message, {QStringLiteral("<node>\n") + introspect({}) + QStringLiteral("</node>\n")});
        } else if (interface == kPropertiesInterface) {
            HandleProperties(message, member, args);
        } else if (interface == MprisRootInterface && kRootMethods.contains(member)) {
            Reply(message);
            if (member == "Raise")
                W.BringToFront();
            else // after the reply has gone out
                QTimer::singleShot(0, &W, [&window = W] { window.CloseWithoutQuery(); });
        } else if (interface == MprisPlayerInterface && kPlayerMethods.contains(member)) {
            HandlePlayer(message, member, args);
        } else {
            Fail(message, "org.freedesktop.DBus.Error.UnknownMethod", "No such method: " + interface + "." + member);
        }
        ScheduleRefresh();
    }

    void HandleProperties(const QDBusMessage& message, const QString& member, const QList<QVariant>& args) {
        if (member == "Get" && args.size() == 2) {
            const QVariant value = Property(args[0].toString(), args[1].toString());
            if (!value.isValid())
                return Fail(message, "org.freedesktop.DBus.Error.UnknownProperty",
                            "No such property: " + args[1].toString());
            return Reply(message, {QVariant::fromValue(QDBusVariant(value))});
        }
        if (member == "GetAll" && args.size() == 1)
            return Reply(message, {AllProperties(args[0].toString())});
        if (member == "Set" && args.size() == 3) {
            if (args[0].toString() == MprisPlayerInterface && args[1].toString() == "Volume") {
                bool isNumber = false;
                const double volume = args[2].value<QDBusVariant>().variant().toDouble(&isNumber);
                if (!isNumber)
                    return Fail(message, "org.freedesktop.DBus.Error.InvalidArgs", "Volume is a double");
                // As the volume slider would: the player and the slider follow.
                W.VolumeSlider->SetPosition(ProgramVolume(volume));
                return Reply(message);
            }
            if (Property(args[0].toString(), args[1].toString()).isValid())
                return Fail(message, "org.freedesktop.DBus.Error.PropertyReadOnly",
                            args[1].toString() + " is read-only");
            return Fail(message, "org.freedesktop.DBus.Error.UnknownProperty",
                        "No such property: " + args[1].toString());
        }
        Fail(message, "org.freedesktop.DBus.Error.InvalidArgs", "Bad call of " + member);
    }

    void HandlePlayer(const QDBusMessage& message, const QString& member, const QList<QVariant>& args) {
        TPlaybackControl* playback = W.Playback();
        if (!playback)
            return Fail(message, "org.freedesktop.DBus.Error.Failed", "No player");
        const TMprisInput in = Input();
        if (member == "Play" || (member == "PlayPause" && in.PlayerState != audio::TAudioPlayer::Playing)) {
            switch (MprisPlayAction(in)) {
            case TMprisPlay::Toggle:
                playback->TogglePlay();
                break;
            case TMprisPlay::PlayAgain:
                if (!playback->PlayEntry(in.LastPlayed))
                    playback->PlayNext();
                break;
            case TMprisPlay::Nothing:
                break;
            }
        } else if (member == "Pause" || member == "PlayPause") {
            if (in.PlayerState == audio::TAudioPlayer::Playing)
                playback->TogglePlay();
        } else if (member == "Stop") {
            if (in.PlayerState == audio::TAudioPlayer::Playing || in.PlayerState == audio::TAudioPlayer::Paused)
                playback->Stop();
        } else if (member == "Next") {
            playback->PlayNext();
        } else if (member == "Previous") {
            playback->PlayPrevious();
        } else if (member == "Seek" || member == "SetPosition") {
            const bool seek = member == "Seek";
            if (args.size() != (seek ? 1 : 2))
                return Fail(message, "org.freedesktop.DBus.Error.InvalidArgs", "Bad call of " + member);
            const TMprisSeek to = seek ? MprisSeekBy(in, args[0].toLongLong())
                                       : MprisSetPosition(in, args[0].value<QDBusObjectPath>().path().toStdString(),
                                                          args[1].toLongLong());
            if (to.Action == TMprisSeek::Next) {
                playback->PlayNext();
            } else if (to.Action == TMprisSeek::Move) {
                playback->SeekTo(to.Position);
                QDBusMessage seeked = QDBusMessage::createSignal(MprisObjectPath, MprisPlayerInterface, "Seeked");
                seeked << qlonglong(MprisMicroseconds(in, to.Position));
                Bus.send(seeked);
            }
        } else { // OpenUri
            return Fail(message, "org.freedesktop.DBus.Error.NotSupported", "Opening addresses is not supported");
        }
        Reply(message);
    }

    Tfrm_Main& W;
    TMprisState Last_;
    bool RefreshPending_ = false;
    TSong Song_;
};

TMprisService::TMprisService(Tfrm_Main& window) : Window_(window), Object_(std::make_unique<TObject>(window)) {}

TMprisService::~TMprisService() {
    Window_.OnPlayerChanged = nullptr;
    if (Object_->Bus.isConnected()) {
        Object_->Bus.unregisterObject(MprisObjectPath);
        QDBusConnection::disconnectFromBus(kConnectionName);
    }
}

bool TMprisService::Start() {
    const std::string address = SessionBusAddress(std::getenv("DBUS_SESSION_BUS_ADDRESS"),
                                                  std::getenv("XDG_RUNTIME_DIR"), [](const std::string& path) {
                                                      struct stat st {};
                                                      return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
                                                  });
    if (address.empty()) {
        Diagnostic(
            "no session bus (DBUS_SESSION_BUS_ADDRESS is not set); media keys and panels cannot reach the player");
        return false;
    }
    if (!SessionBusAllowed(address, platform::LoopbackOnly())) {
        Diagnostic("the session bus is not on a local socket and the network guard is on; no media interface");
        return false;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address), kConnectionName);
    if (!bus.isConnected()) {
        Diagnostic("the session bus does not answer (" + bus.lastError().message() +
                   "); media keys and panels cannot reach the player");
        QDBusConnection::disconnectFromBus(kConnectionName);
        return false;
    }
    if (!bus.registerVirtualObject(MprisObjectPath, Object_.get(), QDBusConnection::SingleNode)) {
        Diagnostic("cannot serve " + QString(MprisObjectPath) + " on the session bus");
        QDBusConnection::disconnectFromBus(kConnectionName);
        return false;
    }
    // The name belongs to the first copy; a copy of another program folder
    // takes a name of its own, as the interface allows.
    const QString name = MprisBusName;
    const QString instance = name + ".instance" + QString::number(::getpid());
    if (!bus.registerService(name) && !bus.registerService(instance)) {
        Diagnostic("cannot take the name " + name + " on the session bus (" + bus.lastError().message() + ")");
        bus.unregisterObject(MprisObjectPath);
        QDBusConnection::disconnectFromBus(kConnectionName);
        return false;
    }
    Object_->Bus = bus;
    Window_.OnPlayerChanged = [object = Object_.get()] { object->ScheduleRefresh(); };
    Object_->Refresh(false);
    return true;
}

} // namespace zv2::app
