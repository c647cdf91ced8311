<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>LanguageManagerTest</name>
    <message>
        <source>Start</source>
        <translation>Starten</translation>
    </message>
</context>
</TS>
