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
        <source>More values</source>
        <translation>Weitere Werte</translation>
    </message>
    <message>
        <source>last written %1 · 1 point</source>
        <translation>zuletzt geschrieben %1 · 1 Wert</translation>
    </message>
    <message>
        <source>last written %1 · %2 points</source>
        <translation>zuletzt geschrieben %1 · %2 Werte</translation>
    </message>
    <message>
        <source>Data manager lost since %1</source>
        <translation>Datenmanager getrennt seit %1</translation>
    </message>
    <message>
        <source>Written to the file, not told to the data manager</source>
        <translation>In die Datei geschrieben, dem Datenmanager nicht gemeldet</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
</context>
<context>
    <name>TfrmCollectData</name>
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
        <source>Prints how the instance running on these settings runs: data source, status, interval, messages and every census patient with what was written for it; changes nothing. Exit code 1 when none runs.</source>
        <translation>Gibt aus, wie die Instanz auf diesen Einstellungen läuft: Datenquelle, Status, Intervall, Nachrichten und jeden Patienten der Liste mit dem, was für ihn geschrieben wurde; ändert nichts. Exit-Code 1, wenn keine läuft.</translation>
    </message>
    <message>
        <source>With --status: prints one JSON object.</source>
        <translation>Mit --status: gibt ein JSON-Objekt aus.</translation>
    </message>
    <message>
        <source>--json is given with --status only</source>
        <translation>--json gibt es nur mit --status</translation>
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
    <name>TfrmHost</name>
    <message>
        <source>Select Data Server</source>
        <translation>Datenserver auswählen</translation>
    </message>
    <message>
        <source>Set the Central Station to &quot;Server Unsolicited&quot;</source>
        <translation>Stellen Sie die Zentralstation auf &quot;Server Unsolicited&quot; ein</translation>
    </message>
    <message>
        <source>Data Source</source>
        <translation>Datenquelle</translation>
    </message>
    <message>
        <source>Central Station</source>
        <translation>Zentralstation</translation>
    </message>
    <message>
        <source>Velgard Computer</source>
        <translation>Velgard-Computer</translation>
    </message>
    <message>
        <source>Select whether IP address or network name shall be used to identify the Central Station</source>
        <translation>Wählen Sie, ob die Zentralstation über ihre IP-Adresse oder ihren Netzwerknamen angesprochen wird</translation>
    </message>
    <message>
        <source>Use</source>
        <translation>Verwenden</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>IP-Adresse</translation>
    </message>
    <message>
        <source>Network name</source>
        <translation>Netzwerkname</translation>
    </message>
    <message>
        <source>IPAddress (xxx.xxx.xxx.xxx)</source>
        <translation>IP-Adresse (xxx.xxx.xxx.xxx)</translation>
    </message>
    <message>
        <source>Enter IP address for Central Station</source>
        <translation>IP-Adresse der Zentralstation eingeben</translation>
    </message>
    <message>
        <source>Enter network name for Central Station</source>
        <translation>Netzwerknamen der Zentralstation eingeben</translation>
    </message>
    <message>
        <source>Check to start collection automatically when connection has been established</source>
        <translation>Ankreuzen, um die Datenerfassung nach dem Verbindungsaufbau automatisch zu starten</translation>
    </message>
    <message>
        <source>Autostart</source>
        <translation>Autostart</translation>
    </message>
    <message>
        <source>Check to automatically hide the application when connection has been established</source>
        <translation>Ankreuzen, um das Programm nach dem Verbindungsaufbau automatisch auszublenden</translation>
    </message>
    <message>
        <source>Autohide</source>
        <translation>Automatisch ausblenden</translation>
    </message>
    <message>
        <source>Check to automatically create all patients registered in Central Station</source>
        <translation>Ankreuzen, um alle in der Zentralstation registrierten Patienten automatisch anzulegen</translation>
    </message>
    <message>
        <source>Create Patient Automatically</source>
        <translation>Patienten automatisch anlegen</translation>
    </message>
    <message>
        <source>Check to automatically filter MR at patient ID end to maintain compatibility with other devices</source>
        <translation>Ankreuzen, um ein MR am Ende der Patienten-ID zur Kompatibilität mit anderen Geräten zu entfernen</translation>
    </message>
    <message>
        <source>Filter MR string at end of Patient ID</source>
        <translation>MR am Ende der Patienten-ID entfernen</translation>
    </message>
    <message>
        <source>Enable default units</source>
        <translation>Standardeinheiten verwenden</translation>
    </message>
    <message>
        <source>Patient ID Reduction</source>
        <translation>Kürzung der Patienten-ID</translation>
    </message>
    <message>
        <source>&amp;None</source>
        <translation>&amp;Keine</translation>
    </message>
    <message>
        <source>Use &amp;FIRST characters</source>
        <translation>&amp;ERSTE Zeichen verwenden</translation>
    </message>
    <message>
        <source>Use &amp;LAST characters</source>
        <translation>&amp;LETZTE Zeichen verwenden</translation>
    </message>
    <message>
        <source>Nr of Characters</source>
        <translation>Anzahl Zeichen</translation>
    </message>
    <message>
        <source>Click to show/hide advanced settings</source>
        <translation>Klicken, um erweiterte Einstellungen ein- oder auszublenden</translation>
    </message>
    <message>
        <source>Advanced</source>
        <translation>Erweitert</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Select CURRENT_USER for normal use, select LOCAL_MACHINE to prepare for usage as a service</source>
        <translation>CURRENT_USER für den normalen Betrieb wählen, LOCAL_MACHINE zur Vorbereitung des Betriebs als Dienst</translation>
    </message>
    <message>
        <source>Settings origin</source>
        <translation>Herkunft der Einstellungen</translation>
    </message>
    <message>
        <source>CURRENT_USER (default)</source>
        <translation>CURRENT_USER (Standard)</translation>
    </message>
    <message>
        <source>LOCAL_MACHINE (run as service)</source>
        <translation>LOCAL_MACHINE (als Dienst)</translation>
    </message>
    <message>
        <source>Check mark for normal use, uncheck to run application without Velgard (e.g. as a service)</source>
        <translation>Für den normalen Betrieb ankreuzen, ohne Haken läuft das Programm ohne Velgard (z. B. als Dienst)</translation>
    </message>
    <message>
        <source>Velgard interface enable</source>
        <translation>Velgard-Schnittstelle aktiv</translation>
    </message>
</context>
<context>
    <name>TfrmSelectParams</name>
    <message>
        <source>Select Parameters</source>
        <translation>Parameter auswählen</translation>
    </message>
    <message>
        <source>Automatic Parameters</source>
        <translation>Automatische Parameter</translation>
    </message>
    <message>
        <source>Available Parameters</source>
        <translation>Verfügbare Parameter</translation>
    </message>
    <message>
        <source>Chosen Parameters</source>
        <translation>Gewählte Parameter</translation>
    </message>
    <message>
        <source>Set As Default</source>
        <translation>Als Standard speichern</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>TfrmSetCollectInterval</name>
    <message>
        <source>Set Collect Interval</source>
        <translation>Erfassungsintervall einstellen</translation>
    </message>
    <message>
        <source>New Collect Interval</source>
        <translation>Neues Erfassungsintervall</translation>
    </message>
    <message>
        <source>hours</source>
        <translation>Stunden</translation>
    </message>
    <message>
        <source>minutes</source>
        <translation>Minuten</translation>
    </message>
    <message>
        <source>seconds</source>
        <translation>Sekunden</translation>
    </message>
    <message>
        <source>Central Station timeout = </source>
        <translation>Zeitüberschreitung Zentralstation = </translation>
    </message>
    <message>
        <source>Use Central Station Settings</source>
        <translation>Einstellungen der Zentralstation verwenden</translation>
    </message>
    <message>
        <source>Set As Default</source>
        <translation>Als Standard speichern</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>halcyra::TfrmSelectParams</name>
    <message>
        <source>Check to conduct parameter setup from the Monitor.
All parameters transmitted will be collected.

Uncheck to setup parameters individually, however there is no
guarantee that the Monitor can present the data requested</source>
        <translation>Ankreuzen, um die Parameter am Monitor einzustellen.
Alle übertragenen Parameter werden erfasst.

Ohne Haken werden die Parameter einzeln gewählt, es ist jedoch nicht
garantiert, dass der Monitor die gewünschten Daten liefern kann</translation>
    </message>
    <message>
        <source>Click to see long name for another parameter</source>
        <translation>Klicken, um den langen Namen eines anderen Parameters zu sehen</translation>
    </message>
</context>
<context>
    <name>halcyra::TfrmSetCollectInterval</name>
    <message>
        <source>Central Station timeout = %1 seconds</source>
        <translation>Zeitüberschreitung Zentralstation = %1 Sekunden</translation>
    </message>
    <message>
        <source>Shortest allowed interval is %1 seconds.</source>
        <translation>Das kürzeste erlaubte Intervall ist %1 Sekunden.</translation>
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
<context>
    <name>halcyra::ShownText</name>
    <message>
        <source>Disconnected</source>
        <translation>Verbindung getrennt</translation>
    </message>
    <message>
        <source>Expected lifetick is missing</source>
        <translation>Erwartetes Lebenszeichen fehlt</translation>
    </message>
    <message>
        <source>Bad HL7 Version ID = %1</source>
        <translation>Falsche HL7-Versionskennung = %1</translation>
    </message>
    <message>
        <source>%1 - Connected to  Central Station: %2 (%3)</source>
        <translation>%1 - verbunden mit Zentralstation: %2 (%3)</translation>
    </message>
    <message>
        <source>%1 - Connected to  Velgard: %2 (%3)</source>
        <translation>%1 - verbunden mit Velgard: %2 (%3)</translation>
    </message>
    <message>
        <source>Central Station Data Client (Ver. %1)</source>
        <translation>Zentralstation-Datenclient (Ver. %1)</translation>
    </message>
    <message>
        <source>Unknown version</source>
        <translation>unbekannt</translation>
    </message>
    <message>
        <source>Collecting Central Station Data ( %1)</source>
        <translation>Erfasst Daten der Zentralstation (%1)</translation>
    </message>
    <message>
        <source>Collecting Central Station Data</source>
        <translation>Erfasst Daten der Zentralstation</translation>
    </message>
    <message>
        <source>Central Station Settings %1</source>
        <translation>Einstellungen der Zentralstation %1</translation>
    </message>
    <message>
        <source>Asynchronous socket error %1 (%2: %3)</source>
        <translation>Socket-Fehler %1 (%2: %3)</translation>
    </message>
    <message>
        <source>Asynchronous socket error %1 (%2)</source>
        <translation>Socket-Fehler %1 (%2)</translation>
    </message>
    <message>
        <source>Asynchronous socket error %1</source>
        <translation>Socket-Fehler %1</translation>
    </message>
    <message>
        <source>not an IPv4 address</source>
        <translation>keine IPv4-Adresse</translation>
    </message>
    <message>
        <source>Connection refused</source>
        <translation>Verbindung abgelehnt</translation>
    </message>
    <message>
        <source>Host not found</source>
        <translation>Host nicht gefunden</translation>
    </message>
    <message>
        <source>Host unreachable</source>
        <translation>Host nicht erreichbar</translation>
    </message>
    <message>
        <source>Network unreachable</source>
        <translation>Netzwerk nicht erreichbar</translation>
    </message>
    <message>
        <source>Network error</source>
        <translation>Netzwerkfehler</translation>
    </message>
    <message>
        <source>Connection timed out</source>
        <translation>Zeitüberschreitung beim Verbindungsaufbau</translation>
    </message>
    <message>
        <source>Socket operation timed out</source>
        <translation>Zeitüberschreitung der Socket-Operation</translation>
    </message>
    <message>
        <source>The remote host closed the connection</source>
        <translation>Die Gegenstelle hat die Verbindung geschlossen</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>Unbekannter Fehler</translation>
    </message>
    <message>
        <source>No parameters selected</source>
        <translation>Keine Parameter ausgewählt</translation>
    </message>
    <message>
        <source>Exception: Could not Add Icon</source>
        <translation>Fehler: Symbol im Infobereich kann nicht angezeigt werden</translation>
    </message>
    <message>
        <source>Exception: Could not Delete Icon</source>
        <translation>Fehler: Symbol im Infobereich kann nicht entfernt werden</translation>
    </message>
    <message>
        <source>Exception: Could not create directory</source>
        <translation>Fehler: Ordner kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>%1 holds %2 series, the most a file takes: the values of %3 are not written</source>
        <translation>%1 enthält %2 Reihen, mehr fasst eine Datei nicht: die Werte von %3 werden nicht geschrieben</translation>
    </message>
    <message>
        <source>No monitor-data file could be opened in %1</source>
        <translation>In %1 konnte keine Monitordatei geöffnet werden</translation>
    </message>
    <message>
        <source>Could not declare %1 and %2 other series in %3: %4</source>
        <translation>%1 und %2 weitere Reihen konnten in %3 nicht angelegt werden: %4</translation>
    </message>
    <message>
        <source>Could not declare %1 in %2: %3</source>
        <translation>%1 konnte in %2 nicht angelegt werden: %3</translation>
    </message>
    <message>
        <source>The values could not be appended to %1</source>
        <translation>Die Werte konnten nicht an %1 angefügt werden</translation>
    </message>
    <message>
        <source>%1 of patient %2 is set aside because %3; the values go to %4</source>
        <translation>%1 von Patient %2 wird beiseitegelegt, weil %3; die Werte gehen nach %4</translation>
    </message>
    <message>
        <source>it cannot be read</source>
        <translation>sie nicht lesbar ist</translation>
    </message>
    <message>
        <source>it cannot be opened (%1)</source>
        <translation>sie nicht geöffnet werden kann (%1)</translation>
    </message>
    <message>
        <source>it is damaged (%1)</source>
        <translation>sie beschädigt ist (%1)</translation>
    </message>
    <message>
        <source>its series are not numbered in order</source>
        <translation>ihre Reihen sind nicht fortlaufend nummeriert</translation>
    </message>
    <message>
        <source>it was written by another monitor</source>
        <translation>sie von einem anderen Monitor geschrieben wurde</translation>
    </message>
    <message>
        <source>it belongs to another patient</source>
        <translation>sie zu einem anderen Patienten gehört</translation>
    </message>
    <message>
        <source>Values of patient ID %1 are not written: the folder %2 belongs to patient ID %3</source>
        <translation>Werte von Patienten-ID %1 werden nicht geschrieben: der Ordner %2 gehört zu Patienten-ID %3</translation>
    </message>
    <message>
        <source>No patient could be created in %1</source>
        <translation>In %1 konnte kein Patient angelegt werden</translation>
    </message>
    <message>
        <source>The patient has no folder in the data folder (%1)</source>
        <translation>Der Patient hat keinen Ordner im Datenordner (%1)</translation>
    </message>
    <message>
        <source>The value of %1 was empty</source>
        <translation>Der Wert von %1 war leer</translation>
    </message>
    <message>
        <source>The value of %1 &quot;%2&quot; is not a number</source>
        <translation>Der Wert von %1 „%2“ ist keine Zahl</translation>
    </message>
    <message>
        <source>Values wait for the clock to pass %1: the file holds later points (the clock was set back)</source>
        <translation>Werte warten, bis die Uhr %1 überschreitet: die Datei enthält spätere Werte (die Uhr wurde zurückgestellt)</translation>
    </message>
    <message>
        <source>Patient ID %1: no patient could be created in %2 (%3)</source>
        <translation>Patienten-ID %1: in %2 konnte kein Patient angelegt werden (%3)</translation>
    </message>
    <message>
        <source>the folder could not be made</source>
        <translation>der Ordner konnte nicht angelegt werden</translation>
    </message>
    <message>
        <source>the data manager left the D-Bus session bus</source>
        <translation>der Datenmanager hat den D-Bus-Sitzungsbus verlassen</translation>
    </message>
    <message>
        <source>the D-Bus session bus closed the connection</source>
        <translation>der D-Bus-Sitzungsbus hat die Verbindung geschlossen</translation>
    </message>
    <message>
        <source>no answer from the data manager within %1 s</source>
        <translation>keine Antwort vom Datenmanager innerhalb von %1 s</translation>
    </message>
    <message>
        <source>no answer from the data manager</source>
        <translation>keine Antwort vom Datenmanager</translation>
    </message>
    <message>
        <source>the data manager fell %1 calls behind</source>
        <translation>der Datenmanager ist %1 Aufrufe im Rückstand</translation>
    </message>
    <message>
        <source>the data manager %1 is neither running nor installed on the session bus</source>
        <translation>der Datenmanager %1 läuft nicht und ist am Sitzungsbus nicht installiert</translation>
    </message>
    <message>
        <source>Unable to copy %1 =&gt; %2: %3</source>
        <translation>%1 konnte nicht nach %2 kopiert werden: %3</translation>
    </message>
</context>
<context>
    <name>TfrmNewPatient</name>
    <message>
        <source>New Patient</source>
        <translation>Neuer Patient</translation>
    </message>
</context>
<context>
    <name>halcyra::TfrmNewPatient</name>
    <message>
        <source>Created: %1 (%2 %3) - %4</source>
        <translation>Angelegt: %1 (%2 %3) - %4</translation>
    </message>
</context>
</TS>
