<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>BroadcastEntries</name>
    <message>
        <source>Error: Invalid time!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error: Duplicate broadcast name!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error: You already have a broadcast named &apos;%1&apos;! Rename that one first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>There are no scheduled broadcasts. Would you like to create a new one? Pressing No will close the Broadcast Scheduler.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error: Invalid start offset! Type a whole number of minutes from -1440 to 1440.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error: The broadcast schedule could not be saved! Nothing was changed.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>BrokerEntries</name>
    <message>
        <source>Error: Duplicate online broker name!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error: You already have an online broker named &apos;%1&apos;! Rename that one first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>There are no configured online brokers. Would you like to create a new one? Pressing No will close the Online Brokers.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error: The online brokers could not be saved! Nothing was changed.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ListEditor</name>
    <message>
        <source>Would you like to save your changes?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ListEditorDialog</name>
    <message>
        <source>&amp;New</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Apply</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MainMenus</name>
    <message>
        <source>&amp;Back 15 Seconds</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Forward 15 Seconds</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Catch Up &amp;Faster</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rund&amp;own...</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Picture</name>
    <message>
        <source>Error loading picture %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error drawing picture %1 at %2 by %3 pixels</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PlayBar</name>
    <message>
        <source>Play bar</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Play</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pause</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Home</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mail</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Online Brokers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Volume:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Volume</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PlaybackController</name>
    <message>
        <source>Undefined state (1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retrieving playlist...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connecting to media...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Undefined state (2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stopped.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Playing.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Buffering...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Done.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ready to play.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A Windows Media Player error has occured.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Desription: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PlayerSession</name>
    <message>
        <source>Type in the URL you would like to browse to.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Rundown</name>
    <message>
        <source>just now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 min ago</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 h %2 min ago</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>connection lost %1–%2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(no title)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Live</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%1 (and %n more)</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
</context>
<context>
    <name>SourceMessages</name>
    <message>
        <source>Cannot open %1: it redirects to %2, which this player does not open.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot open %1: this player does not open such sources.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The playlist %1 lists no source this player may open.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot open %1: too many redirects.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot open %1: it redirects in a loop.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The playlist %1 has no entries.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Timed out connecting to %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The playlist %1 is too large.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot open %1: playlists nested too deeply.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StatusLine</name>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Now playing</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VlcMessages</name>
    <message>
        <source>Cannot open %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot open %1: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reconnecting since %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Lost the connection to %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Lost the connection to %1: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no data received for %1 ms</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no data received for 1 second</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no data received for %1 seconds</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot play %1: unsupported format (no audio found).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The playlist %1 loops: its entries lead back to itself.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gave up on %1: %2 of its entries were tried and none played.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The media engine could not be started (libVLC failed to initialise).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the stream could not be read</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WindowPanes</name>
    <message>
        <source>Portal</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Advertisements and brokers</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WindowSkin</name>
    <message>
        <source>Error loading picture %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The window keeps the desktop&apos;s frame.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>frmAbout</name>
    <message>
        <source>About Quillmoor(tm) Vendrasel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quillmoor(tm) Vendrasel icon</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quillmoor(tm) Vendrasel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copyright (c) 2026 Quillmoor Media. All rights reserved.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Every trading day Quillmoor broadcasts an hour of live radio for small-cap traders: commentary on the markets as they move, the day&apos;s news, and guests from companies and trading desks. Vendrasel starts it for you at air time.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The Quillmoor Floor is where small-cap traders meet to share research and ideas. It produces the live programme and keeps its interviews for you to hear again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quillmoor:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The Quillmoor Floor:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Warning: Quillmoor(tm) Vendrasel is protected by copyright law. Copying or distributing this program, in whole or in part, without the written permission of Quillmoor Media is prohibited and will be prosecuted to the full extent of the law.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;System Info...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>System Info</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>E-mail %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>frmBroadcastScheduler</name>
    <message>
        <source>Broadcast Scheduler</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add QLV Preset</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add the Quillmoor live broadcast</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scheduled broadcasts</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scheduled broadcast</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>For example 15:00, 3:00 PM or 12/6/2026 3:00 PM</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Media</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New broadcast</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete broadcast</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Apply changes to this broadcast</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Na&amp;me:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Time:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>M&amp;edia:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Start On:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sun</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mon</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tue</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Wed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Thurs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Fri</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sat</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sunday</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Monday</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tuesday</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Wednesday</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Thursday</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Friday</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Saturday</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start on %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Record</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Record</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Record the broadcast when the scheduler starts it, for up to 2 hours</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Options</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>On</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto launch on</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto launch off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Launch player</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Minutes to launch the player early</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A&amp;uto Launch</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Launch player</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>minutes before scheduled time.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>frmOnlineBrokers</name>
    <message>
        <source>Online Brokers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You can now plug directly into your online brokers from within Quillmoor(tm) Vendrasel! Clicking the lightning bolt button on the control bar will bring up a popup menu from which you can select an online broker to use. Please configure your online brokers in this dialog.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Online brokers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Online broker</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Na&amp;me:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;URL:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New online broker</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete online broker</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Apply changes to this broker</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>frmRundown</name>
    <message>
        <source>Programme Rundown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Timeline</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The kept programme, live at the right end</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Programme rundown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enter plays from a title; the context menu records from it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close the rundown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Timeline: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing is kept: no live stream plays.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This station sends no titles; the timeline above still moves in what is kept.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Playing: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Play from Here</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Record from Here</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>lyrevane::FedStream</name>
    <message>
        <source>Older parts of the programme can no longer be kept: %1 cannot be written, or its disk is nearly full. Play goes on.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>lyrevane::LaunchWatcher</name>
    <message>
        <source>Scheduled broadcast is not recorded</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is not recorded: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scheduled broadcast did not start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 did not start: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Try again</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>lyrevane::VlcMediaEngine</name>
    <message>
        <source>A recording left unfinished is kept as %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n recordings left unfinished are kept in %1.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
</context>
<context>
    <name>lyrevane::frmCustomiseSkin</name>
    <message>
        <source>Customise Skin</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sample:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sample</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Colorize</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hue</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Saturation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Adjust Red, Green, and Blue</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Red %</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Green %</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Blue %</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>lyrevane::frmMain</name>
    <message>
        <source>Quillmoor logo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Go to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>E-mail Quillmoor</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
