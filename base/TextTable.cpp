#include "base/TextTable.h"

#include "base/MakerDetails.h"

namespace qor {
namespace {

#define WebAddress MAKER_WEB_ADDRESS

// UTF-8 as it is shown; the French leading spaces and the German "Beeden" are meant.
constexpr const char* Table[TextCount][LanguageCount] = {
    /* TxtAppTitle */ {"QOR 7316 Firmware Updater", "QOR 7316 Firmware Updater",
                       "Mise à jour du microcode du QOR 7316",
                       "Programa de actualización de firmware para QOR 7316"},
    /* TxtStep1 */
    {"Verbinden Sie Ihr QOR 7316 mit dem Stromnetz und über ein USB-Kabel mit diesem PC. Schalten "
     "Sie das QOR mit gedrückten Tasten F2 + F4 ein und halten Sie die Tasten für ca. 5 Sekunden "
     "lang gedrückt.",
     "Connect your QOR 7316 to this PC with a power cable and a USB cable. Switch on your QOR by "
     "pressing and holding down the keys F2 + F4 for approximately 5 seconds.",
     "Branchez le QOR 7316 sur le réseau électrique et connectez-le au PC par un câble USB. Mettez "
     "le QOR en service en actionnant les touches F2 et F4 et maintenez les touches enfoncées "
     "pendant environ 5 secondes.",
     "Conecte su QOR 7316 a la red eléctrica y a este ordenador mediante un cable USB. Encienda el "
     "QOR pulsando las teclas F2 + F4 y manténgalas pulsadas durante aprox. 5 segundos."},
    /* TxtStep2 */
    {"Laden Sie sich die aktuellste Firmware für dieses Gerät auf " WebAddress
     " herunter oder öffnen Sie diese.",
     "Download the latest firmware for this device at " WebAddress " or open it.",
     "Téléchargez la version la plus récente du microcode pour cet appareil à l'adresse " WebAddress
     " ou ouvrez le fichier.",
     "Descargue el firmware más reciente para este dispositivo en " WebAddress " o ejecútelo."},
    /* TxtStep3 */
    {"Wurde das Gerät erkannt, klicken Sie auf Update, um die geladene Firmware-Datei auf das "
     "Gerät zu spielen. Nach erfolgreichem Update und einem Klick auf Ausschalten ist das Gerät "
     "wieder einsatzbereit.",
     "Once the device has been recognised, click on Update to launch the downloaded firmware file "
     "on your device. Once the update has been successfully completed and you have clicked once on "
     "Shut down, your device is once again ready to use.",
     "Lorsque l'appareil a été détecté, cliquez sur Mise à jour pour charger le fichier de "
     "microcode sur l'appareil. Après la mise à jour, cliquez sur arrêter. L'appareil est prêt à "
     "fonctionner.",
     "Una vez que se haya reconocido el dispositivo, pulse en «Actualizar» para ejecutar el "
     "archivo de firmware en el dispositivo. Tras actualizar correctamente el dispositivo y pulsar "
     "en «Desconectar», este vuelve a estar listo para funcionar."},
    /* TxtFirmwareFile */
    {"Firmware-Datei", "Firmware file", "Fichier de microcode", "Archivo de firmware"},
    /* TxtFileName */ {"Dateiname", "File name", "Fichier", "Archivo"},
    /* TxtNoFirmwareLoaded */
    {"Keine Firmware geladen", "No firmware loaded", "Pas de microcode chargé",
     "No se ha cargado ningún firmware"},
    /* TxtVersion */ {"Version", "Version", "Version", "Versión"},
    /* TxtDownload */ {"Herunterladen", "Download", "Télécharger", "Descargar"},
    /* TxtOpen */ {"Öffnen", "Open", "Ouvrir", "Abrir"},
    /* TxtNotConnected */
    {"QOR 7316 nicht verbunden", "QOR 7316 not connected", "QOR 7316 non connecté",
     "QOR 7316 no conectado"},
    /* TxtConnecting */ {"Verbinde", "Connect", "Connecter", "Conectando"},
    /* TxtConnected */
    {"QOR 7316 verbunden", "QOR 7316 connected", "QOR 7316 connecté", "QOR 7316 conectado"},
    /* TxtBootloaderVersion */
    {"Bootloader Version", "Bootloader Version", "Version du bootloader",
     "Versión de gestor de arranque"},
    /* TxtFirmwareVersion */
    {"Firmware version", "Firmware version", "Version du microcode", "Versión de firmware"},
    /* TxtChecksum */ {"Prüfsumme", "Checksum", "Total de contrôle", "Suma de comprobación"},
    /* TxtValid */ {"gültig", "valid", "valide", "válido"},
    /* TxtInvalid */ {"ungültig", "invalid", "nul", "inválido"},
    /* TxtUpdate */ {"Update", "Update", "Mise à jour", "Actualización"},
    /* TxtPowerOff */ {"Ausschalten", "Power off", "Arrêt", "Desconectar"},
    /* TxtMenuFile */ {"Datei", "File", "Fichier", "Archivo"},
    /* TxtMenuSettings */ {"Einstellungen", "Settings", "Paramètres", "Configuración"},
    /* TxtMenuExit */ {"Beeden", "Exit", "Terminer", "Finalizar"},
    /* TxtMenuLanguage */ {"Sprache", "Language", "Langue", "Lengua"},
    /* TxtMenuInfo */ {"Info", "Info", "Info", "Información"},
    /* TxtProxyActive */ {"Aktiv", "Active", "Actif", "Activo"},
    /* TxtApply */ {"Übernehmen", "Apply", "Accepter", "Aceptar"},
    /* TxtProxyAddress */ {"Adresse", "Address", "Adresse", "Dirección"},
    /* TxtProxyPort */ {"Port", "Port", "Port", "Puerto"},
    /* TxtProxyAuth */
    {"Authentifizierung", "Authentification", "Authentification",
     "Verificación de la autenticidad"},
    /* TxtProxyUser */ {"Benutzername", "Username", "Utilisateur", "Usuario"},
    /* TxtProxyPassword */ {"Passwort", "Password", "Mot de passe", "Password"},
    /* TxtServiceAddress */
    {"Serviceadresse", "Service address", "Adresse de SAV", "Dirección del servicio de atención"},
    /* TxtContactPerson */
    {"Ansprechpartner", "Contact person", "Interlocuteur", "Persona de contacto"},
    /* TxtExitTitle */
    {"Anwendung beenden", "Exit", "Terminer l'application", "Finalizar aplicación"},
    /* TxtExitQuestion */
    {"Soll die Anwendung wirklich beendet werden?",
     "Are you sure you want to exit the application?",
     "Voulez-vous réellement fermer l'application?", "¿Desea realmente finalizar la aplicación?"},
    /* TxtUpdateFailed */
    {"Update fehlgeschlagen!", "Update failed!", "Mise à jour a échoué!",
     "La actualización ha fallado!"},
    /* TxtInvalidFirmware */
    {"Ungültige Firmware!", "Invalid firmware!", "Firmware invalide!", "Firmware no válido!"},
    /* TxtFirmwareLoaded */
    {"Firmware geladen!", "Firmware loaded!", "Firmware chargé!", "Firmware cargado!"},
    /* TxtUpdateSucceeded */
    {"Update erfolgreich abgeschlossen!", "Update finished successfully!",
     " Mise à jour terminée avec succès!", "La actualización ha finalizado con éxito!"},
    /* TxtUpdating */ {"Update läuft", "Updating", "Réactualisation", "Actualización"},
    /* TxtError */ {"Fehler", "Error", "Erreur", "Error"},
    /* TxtServerConnecting */
    {"Verbindungsaufbau...", "Connecting...", "De liaison...", "Conexión..."},
    /* TxtServerFailed */
    {"Keine Verbindung zum Server möglich!", "Connecting to server failed!",
     "Connexion au serveur a échoué!", "Conectando con el servidor fallado!"},
    /* TxtCancelled */
    {"Vorgang abgebrochen.", "Operation cancelled", "Opération annulée", "Operación cancelada"},
    /* TxtDownloadFailed */
    {"Fehler beim Herunterladen der Firmware!", "Error downloading the firmware file!",
     " Erreur lors du téléchargement du fichier de firmware!",
     "Error al descargar el archivo de firmware!"},
    /* TxtDownloadSucceeded */
    {"Firmware wurde erfolgreich heruntergeladen.", "Firmware was downloaded successfully.",
     " Firmware a été téléchargé avec succès.", "Firmware se descargó correctamente."},
    /* TxtClose */ {"Schließen", "Close", "Fermer", "Cerrar"},
    /* TxtDownloading */
    {"Firmware wird heruntergeladen...", "Downloading firmware", "Téléchargement du firmware",
     "La descarga de firmware"},
    /* TxtCancel */ {"Abbrechen", "Cancel", "Annuler", "Cancelar"},
    /* TxtStoreSetAside */
    {"Die Einstellungsdatei „%1“ konnte nicht gelesen werden (%3). Sie wurde als „%2“ "
     "aufbewahrt, und es gelten die Standardeinstellungen.",
     "The settings file \"%1\" could not be read (%3). It was kept as \"%2\" and the default "
     "settings are used.",
     "Le fichier de paramètres « %1 » n'a pas pu être lu (%3). Il a été conservé sous le nom "
     "« %2 » et les paramètres par défaut sont utilisés.",
     "No se ha podido leer el archivo de configuración «%1» (%3). Se ha guardado como «%2» y se "
     "utiliza la configuración predeterminada."},
    /* TxtStoreUnreadable */
    {"Die Einstellungen in „%1“ konnten nicht gelesen werden (%2). Vorerst gelten die "
     "Standardeinstellungen; die gespeicherten Einstellungen bleiben unverändert.",
     "The settings in \"%1\" could not be read (%2). For now the default settings are used; "
     "the stored settings are left as they are.",
     "Les paramètres enregistrés dans « %1 » n'ont pas pu être lus (%2). Pour l'instant, les "
     "paramètres par défaut sont utilisés ; les paramètres enregistrés restent inchangés.",
     "No se ha podido leer la configuración guardada en «%1» (%2). Por ahora se utiliza la "
     "configuración predeterminada; la configuración guardada no se modifica."},
    /* TxtStoreReadAgain */
    {"Die Einstellungen jetzt erneut lesen?", "Read the settings again now?",
     "Relire les paramètres maintenant ?", "¿Volver a leer la configuración ahora?"},
    /* TxtPasswordNotProtected */
    {"Das Passwort konnte nicht geschützt werden und wurde nicht gespeichert.",
     "The password could not be protected and was not saved.",
     "Le mot de passe n'a pas pu être protégé et n'a pas été enregistré.",
     "No se ha podido proteger la contraseña, por lo que no se ha guardado."},
    /* TxtCauseLockHeld */
    {"von einem anderen Programm gesperrt", "locked by another program",
     "verrouillé par un autre programme", "bloqueado por otro programa"},
    /* TxtCauseReadOnly */
    {"der Ordner ist schreibgeschützt", "the folder is read-only",
     "le dossier est en lecture seule", "la carpeta es de solo lectura"},
    /* TxtCauseDiskFull */
    {"der Datenträger ist voll", "the disk is full", "le disque est plein", "el disco está lleno"},
    /* TxtCauseNotRegularFile */
    {"keine gewöhnliche Datei", "not a regular file", "ce n'est pas un fichier ordinaire",
     "no es un archivo normal"},
    /* TxtCauseAccessDenied */
    {"Zugriff verweigert", "access denied", "accès refusé", "acceso denegado"},
    /* TxtCauseNoLocation */
    {"kein Ordner für die Einstellungen bekannt", "no folder is known for the settings",
     "aucun dossier n'est connu pour les paramètres",
     "no se conoce ninguna carpeta para la configuración"},
    /* TxtCauseTooLarge */
    {"größer als %1 MB", "larger than %1 MB", "plus de %1 Mo", "más de %1 MB"},
    /* TxtCauseDamaged */
    {"der Inhalt ist beschädigt", "the contents are damaged", "le contenu est endommagé",
     "el contenido está dañado"},
    /* TxtMenuServiceReport */
    {"Servicebericht speichern", "Save service report", "Enregistrer le rapport de service",
     "Guardar informe de servicio"},
    /* TxtServiceReportFiles */
    {"Textdateien (*.txt)", "Text files (*.txt)", "Fichiers texte (*.txt)",
     "Archivos de texto (*.txt)"},
    /* TxtServiceReportSaved */
    {"Der Servicebericht wurde in „%1“ gespeichert.", "The service report was saved to \"%1\".",
     "Le rapport de service a été enregistré dans « %1 ».",
     "El informe de servicio se ha guardado en «%1»."},
    /* TxtServiceReportFailed */
    {"Der Servicebericht konnte nicht in „%1“ gespeichert werden: %2",
     "The service report could not be saved to \"%1\": %2",
     "Le rapport de service n'a pas pu être enregistré dans « %1 » : %2",
     "No se ha podido guardar el informe de servicio en «%1»: %2"},
};

#undef WebAddress

} // namespace

const char* Txt(TTextId id, std::uint8_t language) {
    if (id < 0 || id >= TextCount) {
        return "";
    }
    return Table[id][LanguageColumn(language)];
}

std::string FillIn(std::string_view pattern, std::initializer_list<std::string_view> args) {
    std::string text;
    text.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        const auto index = static_cast<std::size_t>(next - '1');
        if (pattern[i] == '%' && next >= '1' && next <= '9' && index < args.size()) {
            text += *(args.begin() + index);
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

} // namespace qor
