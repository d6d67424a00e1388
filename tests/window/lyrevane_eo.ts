<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!-- A language for the translation test only: a few texts of the main window and About. -->
<TS version="2.1" language="eo" sourcelanguage="en">
<context>
    <name>frmAbout</name>
    <message>
        <source>About Quillmoor(tm) Vendrasel</source>
        <translation>Pri Quillmoor(tm) Vendrasel</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Versio %1</translation>
    </message>
</context>
<context>
    <name>lyrevane::frmMain</name>
    <message>
        <source>Quillmoor logo</source>
        <translation>Emblemo de Quillmoor</translation>
    </message>
</context>
</TS>
