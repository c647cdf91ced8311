<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>halcyra::TfrmCollectData</name>
    <message>
        <source>Halcyra Data Input Module</source>
        <translation>Halcyra Dateneingabemodul</translation>
    </message>
    <message>
        <source>Central Station Data Client (Ver. %1)</source>
        <translation>Zentralstation-Datenclient (Ver. %1)</translation>
    </message>
    <message>
        <source>Unable to start, please contact Tovarin</source>
        <translation>Start nicht möglich, bitte wenden Sie sich an Tovarin</translation>
    </message>
    <message>
        <source>Do you really want to close</source>
        <translation>Wollen Sie das Programm wirklich beenden</translation>
    </message>
    <message>
        <source>Central Station/Patient Link Monitor</source>
        <translation>Zentralstation/Patientenverbindung</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>Nicht verbunden</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Ausblenden</translation>
    </message>
    <message>
        <source>Params...</source>
        <translation>Parameter...</translation>
    </message>
    <message>
        <source>Interval...</source>
        <translation>Intervall...</translation>
    </message>
    <message>
        <source>Server</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>Filter function</source>
        <translation>Filterfunktion</translation>
    </message>
    <message>
        <source>Average</source>
        <translation>Mittelwert</translation>
    </message>
    <message>
        <source>Median</source>
        <translation>Median</translation>
    </message>
    <message>
        <source>Momentary</source>
        <translation>Momentanwert</translation>
    </message>
    <message>
        <source>Connected Clients</source>
        <translation>Verbundene Clients</translation>
    </message>
    <message>
        <source>No Network</source>
        <translation>Kein Netzwerk</translation>
    </message>
    <message>
        <source>Enable log file</source>
        <translation>Protokolldatei schreiben</translation>
    </message>
    <message>
        <source>Save Data Stream</source>
        <translation>Datenstrom speichern</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>Patients</source>
        <translation>Patienten</translation>
    </message>
    <message>
        <source>More values</source>
        <translation>Weitere Werte</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
</context>
<context>
    <name>halcyra</name>
    <message>
        <source>Runs without a display, as a service: no tray icon, message boxes are logged, log lines also go to standard error; SIGTERM or SIGINT ends the run.</source>
        <translation>Läuft ohne Bildschirm als Dienst: kein Symbol im Infobereich, Meldungen werden protokolliert, Protokollzeilen gehen auch auf die Standardfehlerausgabe; SIGTERM oder SIGINT beendet den Lauf.</translation>
    </message>
    <message>
        <source>Prints every setting as the program would use it now, and exits; writes nothing.</source>
        <translation>Gibt jede Einstellung so aus, wie das Programm sie jetzt verwenden würde, und endet; schreibt nichts.</translation>
    </message>
    <message>
        <source>Imports a captured HL7 stream into the patient files.</source>
        <translation>Importiert einen aufgezeichneten HL7-Datenstrom in die Patientendateien.</translation>
    </message>
    <message>
        <source>Folder of the registry hive files (overrides HALCYRA_REGISTRY).</source>
        <translation>Ordner der Registrierungsdateien (statt HALCYRA_REGISTRY).</translation>
    </message>
    <message>
        <source>Folder of the drive mapping (overrides HALCYRA_PREFIX).</source>
        <translation>Ordner der Laufwerkszuordnung (statt HALCYRA_PREFIX).</translation>
    </message>
    <message>
        <source>Shows this help and exits.</source>
        <translation>Zeigt diese Hilfe und endet.</translation>
    </message>
    <message>
        <source>Shows the version and exits.</source>
        <translation>Zeigt die Version und endet.</translation>
    </message>
    <message>
        <source>Halcyra Data Input Module: collects vital signs from a central station into the patient files of the data manager.</source>
        <translation>Halcyra Dateneingabemodul: überträgt Vitalwerte von einer Zentralstation in die Patientendateien des Datenmanagers.</translation>
    </message>
    <message>
        <source>As the first argument, in any letter case: runs without the data manager&apos;s automation interface.</source>
        <translation>Als erstes Argument, in beliebiger Schreibweise: läuft ohne die Automatisierungsschnittstelle des Datenmanagers.</translation>
    </message>
    <message>
        <source>Environment:
  HALCYRA_REGISTRY  folder of both registry hive files, HKEY_CURRENT_USER.reg and
                    HKEY_LOCAL_MACHINE.reg (as --registry)
  HALCYRA_PREFIX    folder of the drive mapping (as --prefix)
  XDG_CONFIG_HOME   without either: the per-user hive is $XDG_CONFIG_HOME/halcyra/HKEY_CURRENT_USER.reg
                    (default ~/.config/halcyra/), the per-machine hive /etc/halcyra/HKEY_LOCAL_MACHINE.reg
  XDG_DATA_HOME     without either: the prefix is $XDG_DATA_HOME/halcyra (default ~/.local/share/halcyra)

In use now:
  per-user hive     %1
  per-machine hive  %2
  prefix            %3
</source>
        <translation>Umgebung:
  HALCYRA_REGISTRY  Ordner beider Registrierungsdateien, HKEY_CURRENT_USER.reg und
                    HKEY_LOCAL_MACHINE.reg (wie --registry)
  HALCYRA_PREFIX    Ordner der Laufwerkszuordnung (wie --prefix)
  XDG_CONFIG_HOME   ohne beide: die Benutzerdatei ist $XDG_CONFIG_HOME/halcyra/HKEY_CURRENT_USER.reg
                    (Vorgabe ~/.config/halcyra/), die Rechnerdatei /etc/halcyra/HKEY_LOCAL_MACHINE.reg
  XDG_DATA_HOME     ohne beide: die Laufwerkszuordnung liegt in $XDG_DATA_HOME/halcyra (Vorgabe ~/.local/share/halcyra)

Jetzt verwendet:
  Benutzerdatei     %1
  Rechnerdatei      %2
  Laufwerke         %3
</translation>
    </message>
</context>
<context>
    <name>QPlatformTheme</name>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Ja</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;Nein</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
