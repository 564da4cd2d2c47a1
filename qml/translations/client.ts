<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>BookmarkDialog</name>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Not saved: %1</source>
        <translation>Not saved: %1</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Not saved: nothing is playing</source>
        <translation>Not saved: nothing is playing</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>The server did not save it: %1</source>
        <translation>The server did not save it: %1</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>New bookmark</source>
        <translation>New bookmark</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Change bookmark</source>
        <translation>Change bookmark</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Title</source>
        <translation>Title</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Note (optional)</source>
        <translation>Note (optional)</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkDialog.qml"/>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>BookmarkList</name>
    <message>
        <location filename="../Elements/BookmarkList.qml"/>
        <source>Bookmarks: %1</source>
        <translation>Bookmarks: %1</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkList.qml"/>
        <source>Change</source>
        <translation>Change</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkList.qml"/>
        <source>Change bookmark</source>
        <translation>Change bookmark</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkList.qml"/>
        <source>Delete</source>
        <translation>Delete</translation>
    </message>
    <message>
        <location filename="../Elements/BookmarkList.qml"/>
        <source>Delete bookmark</source>
        <translation>Delete bookmark</translation>
    </message>
</context>
<context>
    <name>EventClasses</name>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Door opened</source>
        <translation>Door opened</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Door closed</source>
        <translation>Door closed</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Access granted</source>
        <translation>Access granted</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Access denied</source>
        <translation>Access denied</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Door forced open</source>
        <translation>Door forced open</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Door held open</source>
        <translation>Door held open</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Motion</source>
        <translation>Motion</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Camera tampered</source>
        <translation>Camera tampered</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Alarm acknowledged</source>
        <translation>Alarm acknowledged</translation>
    </message>
    <message>
        <location filename="../../events/eventclasses.cpp"/>
        <source>Door command</source>
        <translation>Door command</translation>
    </message>
</context>
<context>
    <name>CameraView</name>
    <message>
        <location filename="../Elements/CameraView.qml" line="92"/>
        <source>No signal</source>
        <translation>No signal</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml" line="230"/>
        <source>FPS:</source>
        <translation>FPS:</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>camera</source>
        <translation>camera</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Snapshot saved to %1</source>
        <translation>Snapshot saved to %1</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Snapshot not saved: %1</source>
        <translation>Snapshot not saved: %1</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>no picture yet</source>
        <translation>no picture yet</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Camera %1</source>
        <translation>Camera %1</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Press to show the camera&apos;s toolbar</source>
        <translation>Press to show the camera&apos;s toolbar</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Alarm</source>
        <translation>Alarm</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Show the whole picture</source>
        <translation>Show the whole picture</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Save a snapshot</source>
        <translation>Save a snapshot</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Show the video figures</source>
        <translation>Show the video figures</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Frames per second</source>
        <translation>Frames per second</translation>
    </message>
    <message>
        <location filename="../Elements/CameraView.qml"/>
        <source>Bookmark the last moments</source>
        <translation>Bookmark the last moments</translation>
    </message>
</context>
<context>
    <name>DoorView</name>
    <message>
        <location filename="../Elements/DoorView.qml" line="11"/>
        <source>Door</source>
        <translation>Door</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml" line="56"/>
        <source>Open</source>
        <translation>Open</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml" line="56"/>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>State unknown</source>
        <translation>State unknown</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>Door %1</source>
        <translation>Door %1</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>Open %1</source>
        <translation>Open %1</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>Close %1</source>
        <translation>Close %1</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>Events</source>
        <translation>Events</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>Last events of %1</source>
        <translation>Last events of %1</translation>
    </message>
    <message>
        <location filename="../Elements/DoorView.qml"/>
        <source>No events yet</source>
        <translation>No events yet</translation>
    </message>
</context>
<context>
    <name>LoginPage</name>
    <message>
        <location filename="../LoginPage.qml" line="29"/>
        <source>Working</source>
        <translation>Working</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="82"/>
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="98"/>
        <source>server information</source>
        <translation>server information</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="102"/>
        <source>Host</source>
        <translation>Host</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="113"/>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="126"/>
        <source>login credentials</source>
        <translation>login credentials</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="130"/>
        <source>Username</source>
        <translation>Username</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="141"/>
        <source>Password</source>
        <translation>Password</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml" line="159"/>
        <source>Login</source>
        <translation>Login</translation>
    </message>
    <message>
        <location filename="../LoginPage.qml"/>
        <source>Trying again in %1 s</source>
        <translation>Trying again in %1 s</translation>
    </message>
</context>
<context>
    <name>RecordedPage</name>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>The layout has fewer than two cameras.</source>
        <translation>The layout has fewer than two cameras.</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>At most %1 cameras play in step.</source>
        <translation>At most %1 cameras play in step.</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>Exported to %1; not exported: %2</source>
        <translation>Exported to %1; not exported: %2</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>Nothing recorded between the marks.</source>
        <translation>Nothing recorded between the marks.</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>Export not started: %1</source>
        <translation>Export not started: %1</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>Exported to %1</source>
        <translation>Exported to %1</translation>
    </message>
    <message>
        <location filename="../RecordedPage.qml"/>
        <source>Export failed: %1</source>
        <translation>Export failed: %1</translation>
    </message>
</context>
<context>
    <name>Sidebar</name>
    <message>
        <location filename="../Elements/Sidebar.qml" line="12"/>
        <source>Layout</source>
        <translation>Layout</translation>
    </message>
    <message>
        <location filename="../Elements/Sidebar.qml" line="13"/>
        <source>Recorded</source>
        <translation>Recorded</translation>
    </message>
    <message>
        <location filename="../Elements/Sidebar.qml" line="14"/>
        <source>Exit</source>
        <translation>Exit</translation>
    </message>
</context>
<context>
    <name>VideoStats</name>
    <message>
        <location filename="../Elements/VideoStats.qml" line="70"/>
        <source>%1 received</source>
        <translation>%1 received</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml" line="71"/>
        <source>%1 drawn</source>
        <translation>%1 drawn</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml" line="72"/>
        <source>%1 Mbit/s</source>
        <translation>%1 Mbit/s</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml" line="74"/>
        <source>lag %1 s</source>
        <translation>lag %1 s</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml"/>
        <source>skip non-reference frames</source>
        <translation>skip non-reference frames</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml"/>
        <source>no deblocking</source>
        <translation>no deblocking</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml"/>
        <source>key frames only</source>
        <translation>key frames only</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml"/>
        <source>less deblocking</source>
        <translation>less deblocking</translation>
    </message>
    <message>
        <location filename="../Elements/VideoStats.qml"/>
        <source>(main too slow)</source>
        <translation>(main too slow)</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <location filename="../main.qml" line="15"/>
        <source>Client</source>
        <translation>Client</translation>
    </message>
    <message>
        <location filename="../main.qml" line="77"/>
        <source>Connection to the server lost. Next attempt in %1 s.</source>
        <translation>Connection to the server lost. Next attempt in %1 s.</translation>
    </message>
    <message>
        <location filename="../main.qml" line="78"/>
        <source>Connection to the server lost. Reconnecting…</source>
        <translation>Connection to the server lost. Reconnecting…</translation>
    </message>
</context>
<context>
    <name>LayoutPage</name>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>Not played: this layout has more than %1 cameras</source>
        <translation>Not played: this layout has more than %1 cameras</translation>
    </message>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>Too small to play</source>
        <translation>Too small to play</translation>
    </message>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>Alarm: %1</source>
        <translation>Alarm: %1</translation>
    </message>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>No alarm</source>
        <translation>No alarm</translation>
    </message>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>Acknowledge</source>
        <translation>Acknowledge</translation>
    </message>
    <message>
        <location filename="../LayoutPage.qml"/>
        <source>Acknowledge %1</source>
        <translation>Acknowledge %1</translation>
    </message>
</context>
<context>
    <name>RecordedStreams</name>
    <message>
        <location filename="../Elements/RecordedStreams.qml"/>
        <source>All in step</source>
        <translation>All in step</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedStreams.qml"/>
        <source>Play the layout's cameras in step</source>
        <translation>Play the layout's cameras in step</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedStreams.qml"/>
        <source>In step: %1</source>
        <translation>In step: %1</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedStreams.qml"/>
        <source>Available streams</source>
        <translation>Available streams</translation>
    </message>
</context>
<context>
    <name>ChunkList</name>
    <message>
        <location filename="../Elements/ChunkList.qml"/>
        <source>Recorded chunks</source>
        <translation>Recorded chunks</translation>
    </message>
    <message>
        <location filename="../Elements/ChunkList.qml"/>
        <source>start: %1</source>
        <translation>start: %1</translation>
    </message>
    <message>
        <location filename="../Elements/ChunkList.qml"/>
        <source>end: %1</source>
        <translation>end: %1</translation>
    </message>
    <message>
        <location filename="../Elements/ChunkList.qml"/>
        <source>Chunk from %1 to %2</source>
        <translation>Chunk from %1 to %2</translation>
    </message>
</context>
<context>
    <name>RecordedDay</name>
    <message>
        <location filename="../Elements/RecordedDay.qml"/>
        <source>Today</source>
        <translation>Today</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedDay.qml"/>
        <source>Previous day</source>
        <translation>Previous day</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedDay.qml"/>
        <source>Day (YYYY-MM-DD)</source>
        <translation>Day (YYYY-MM-DD)</translation>
    </message>
    <message>
        <location filename="../Elements/RecordedDay.qml"/>
        <source>Next day</source>
        <translation>Next day</translation>
    </message>
</context>
<context>
    <name>PosSearch</name>
    <message>
        <location filename="../Elements/PosSearch.qml"/>
        <source>Search the day's POS text</source>
        <translation>Search the day's POS text</translation>
    </message>
    <message>
        <location filename="../Elements/PosSearch.qml"/>
        <source>More than %1 lines found</source>
        <translation>More than %1 lines found</translation>
    </message>
    <message>
        <location filename="../Elements/PosSearch.qml"/>
        <source>Lines found: %1</source>
        <translation>Lines found: %1</translation>
    </message>
</context>
<context>
    <name>PlayerBar</name>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Play</source>
        <translation>Play</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>-5 s</source>
        <translation>-5 s</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Frame back</source>
        <translation>Frame back</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Frame forward</source>
        <translation>Frame forward</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>+5 s</source>
        <translation>+5 s</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Snapshot</source>
        <translation>Snapshot</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Back 5 seconds</source>
        <translation>Back 5 seconds</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Forward 5 seconds</source>
        <translation>Forward 5 seconds</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Speed</source>
        <translation>Speed</translation>
    </message>
    <message>
        <location filename="../Elements/PlayerBar.qml"/>
        <source>Position in the chunk</source>
        <translation>Position in the chunk</translation>
    </message>
</context>
<context>
    <name>ExportBar</name>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Bookmark</source>
        <translation>Bookmark</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Set end mark</source>
        <translation>Set end mark</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Set start mark</source>
        <translation>Set start mark</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Clear marks</source>
        <translation>Clear marks</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Save to:</source>
        <translation>Save to:</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Export marked</source>
        <translation>Export marked</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Export chunk</source>
        <translation>Export chunk</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Export folder</source>
        <translation>Export folder</translation>
    </message>
    <message>
        <location filename="../Elements/ExportBar.qml"/>
        <source>Export progress</source>
        <translation>Export progress</translation>
    </message>
</context>
<context>
    <name>ChunkMessages</name>
    <message>
        <location filename="../Elements/ChunkMessages.qml"/>
        <source>The chunk could not be fetched: %1</source>
        <translation>The chunk could not be fetched: %1</translation>
    </message>
    <message>
        <location filename="../Elements/ChunkMessages.qml"/>
        <source>The chunk could not be played: the file is damaged or not a video.</source>
        <translation>The chunk could not be played: the file is damaged or not a video.</translation>
    </message>
</context>
<context>
    <name>AlarmPanel</name>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>All states</source>
        <translation>All states</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>New</source>
        <translation>New</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Acknowledged</source>
        <translation>Acknowledged</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Ended</source>
        <translation>Ended</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>acknowledged by %1, %2</source>
        <translation>acknowledged by %1, %2</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>acknowledged, %1</source>
        <translation>acknowledged, %1</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Ended, %1</source>
        <translation>Ended, %1</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>No camera sees this event&apos;s source</source>
        <translation>No camera sees this event&apos;s source</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Events shown: %1 of %2</source>
        <translation>Events shown: %1 of %2</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Sound off</source>
        <translation>Sound off</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Sound on</source>
        <translation>Sound on</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Mute the alarm sound</source>
        <translation>Mute the alarm sound</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Search the events</source>
        <translation>Search the events</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>All classes</source>
        <translation>All classes</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Event class</source>
        <translation>Event class</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>State</source>
        <translation>State</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Minimum priority</source>
        <translation>Minimum priority</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>All events</source>
        <translation>All events</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Acknowledge all shown</source>
        <translation>Acknowledge all shown</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Events</source>
        <translation>Events</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Acknowledge alarms</source>
        <translation>Acknowledge alarms</translation>
    </message>
    <message>
        <location filename="../Elements/AlarmPanel.qml"/>
        <source>Acknowledge every unacknowledged alarm shown in the list?</source>
        <translation>Acknowledge every unacknowledged alarm shown in the list?</translation>
    </message>
</context>
<context>
    <name>HSpliter</name>
    <message>
        <location filename="../Elements/HSpliter.qml"/>
        <source>Pane divider</source>
        <translation>Pane divider</translation>
    </message>
</context>
<context>
    <name>VSpliter</name>
    <message>
        <location filename="../Elements/VSpliter.qml"/>
        <source>Pane divider</source>
        <translation>Pane divider</translation>
    </message>
</context>
<context>
    <name>LanguageBox</name>
    <message>
        <location filename="../Elements/LanguageBox.qml"/>
        <source>Language</source>
        <translation>Language</translation>
    </message>
</context>
<context>
    <name>MainPage</name>
    <message>
        <location filename="../MainPage.qml"/>
        <source>Alarms</source>
        <translation>Alarms</translation>
    </message>
    <message>
        <location filename="../MainPage.qml"/>
        <source>Alarm panel, %1 not acknowledged</source>
        <translation>Alarm panel, %1 not acknowledged</translation>
    </message>
</context>
<context>
    <name>MultiExportProgress</name>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Waiting</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Exporting</source>
        <translation>Exporting</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Done</source>
        <translation>Done</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Failed: %1</source>
        <translation>Failed: %1</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Nothing recorded</source>
        <translation>Nothing recorded</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Cancelled</source>
        <translation>Cancelled</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Export of the cameras</source>
        <translation>Export of the cameras</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Export progress of %1</source>
        <translation>Export progress of %1</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Export progress</source>
        <translation>Export progress</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <location filename="../Elements/MultiExportProgress.qml"/>
        <source>Cancel the export of every camera</source>
        <translation>Cancel the export of every camera</translation>
    </message>
</context>
<context>
    <name>SyncTile</name>
    <message>
        <location filename="../Elements/SyncTile.qml"/>
        <source>No recording</source>
        <translation>No recording</translation>
    </message>
    <message>
        <location filename="../Elements/SyncTile.qml"/>
        <source>Out of step</source>
        <translation>Out of step</translation>
    </message>
    <message>
        <location filename="../Elements/SyncTile.qml"/>
        <source>Back in step</source>
        <translation>Back in step</translation>
    </message>
</context>
</TS>
