<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>main</name>
    <message>
        <location filename="../main.qml" line="13"/>
        <source>List</source>
        <translation>Lista</translation>
    </message>
    <message>
        <location filename="../main.qml" line="39"/>
        <source>Login to continue</source>
        <translation>Inicie sesión para continuar</translation>
    </message>
</context>
</TS>
