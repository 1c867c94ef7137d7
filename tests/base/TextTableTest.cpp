#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "base/TextTable.h"

using namespace qor;

TEST(TextTable, EveryEntryHasATextInEveryLanguage) {
    for (int id = 0; id < TextCount; ++id) {
        for (std::uint8_t lang = 0; lang < LanguageCount; ++lang) {
            EXPECT_GT(std::strlen(Txt(static_cast<TTextId>(id), lang)), 0u) << id << "/" << +lang;
        }
    }
}

TEST(TextTable, IndicesAboveThreeReadAsEnglish) {
    for (int lang = 4; lang <= 255; ++lang) {
        EXPECT_STREQ(Txt(TxtExitQuestion, static_cast<std::uint8_t>(lang)),
                     "Are you sure you want to exit the application?");
        EXPECT_EQ(Txt(TxtCancel, static_cast<std::uint8_t>(lang)), Txt(TxtCancel, LangEnglish));
        EXPECT_EQ(Txt(TxtPasswordNotProtected, static_cast<std::uint8_t>(lang)),
                  Txt(TxtPasswordNotProtected, LangEnglish));
    }
}

TEST(TextTable, TheFiftyEntriesKeepTheirPlacesAndWording) {
    static_assert(TxtCancel == 49, "the fifty come first, additions after them");
    std::ifstream pinned(QOR_TEXTS_OF_FIFTY, std::ios::binary);
    ASSERT_TRUE(pinned.is_open()) << QOR_TEXTS_OF_FIFTY;
    std::string line;
    for (int id = 0; id <= TxtCancel; ++id) {
        for (std::uint8_t lang = 0; lang < LanguageCount; ++lang) {
            ASSERT_TRUE(std::getline(pinned, line));
            EXPECT_EQ(Txt(static_cast<TTextId>(id), lang), line) << id << "/" << +lang;
        }
    }
    EXPECT_FALSE(std::getline(pinned, line));
}

TEST(TextTable, AdditionsAreTranslatedAndTheirPlaceholdersFilledIn) {
    // Each language has a text of its own, with the same placeholders as the English one.
    for (int id = TxtCancel + 1; id < TextCount; ++id) {
        const std::string english = Txt(static_cast<TTextId>(id), LangEnglish);
        for (std::uint8_t lang : {LangGerman, LangFrench, LangSpanish}) {
            const std::string text = Txt(static_cast<TTextId>(id), lang);
            EXPECT_NE(text, english) << id << "/" << +lang;
            for (const char* mark : {"%1", "%2", "%3"}) {
                EXPECT_EQ(text.find(mark) == std::string::npos,
                          english.find(mark) == std::string::npos)
                    << id << "/" << +lang << " " << mark;
            }
        }
    }
    EXPECT_EQ(FillIn(Txt(TxtStoreSetAside, LangSpanish), {"a.reg", "b.reg", "dañado"}),
              "No se ha podido leer el archivo de configuración «a.reg» (dañado). Se ha guardado "
              "como «b.reg» y se utiliza la configuración predeterminada.");
    EXPECT_EQ(FillIn("%2 before %1, %1 again, %3 stays, 100%", {"one", "two"}),
              "two before one, one again, %3 stays, 100%");
}

TEST(TextTable, TextsAreExactlyAsStored) {
    EXPECT_STREQ(Txt(TxtMenuExit, LangGerman), "Beeden");
    EXPECT_STREQ(Txt(TxtUpdateSucceeded, LangFrench), " Mise à jour terminée avec succès!");
    EXPECT_STREQ(Txt(TxtDownloadFailed, LangFrench),
                 " Erreur lors du téléchargement du fichier de firmware!");
    EXPECT_STREQ(Txt(TxtDownloadSucceeded, LangFrench), " Firmware a été téléchargé avec succès.");
    EXPECT_STREQ(Txt(TxtAppTitle, LangFrench), "Mise à jour du microcode du QOR 7316");
    EXPECT_STREQ(Txt(TxtChecksum, LangFrench), "Total de contrôle");
    EXPECT_STREQ(Txt(TxtConnecting, LangEnglish), "Connect");
    EXPECT_STREQ(Txt(TxtMenuInfo, LangSpanish), "Información");
    EXPECT_STREQ(Txt(TxtInvalid, LangFrench), "nul");
    EXPECT_STREQ(Txt(TxtCancel, LangSpanish), "Cancelar");
}

TEST(TextTable, StepTwoNamesTheMakersWebAddressInEveryLanguage) {
    const char* expected[] = {
        "Laden Sie sich die aktuellste Firmware für dieses Gerät auf www.zentrova.example "
        "herunter oder öffnen Sie diese.",
        "Download the latest firmware for this device at www.zentrova.example or open it.",
        "Téléchargez la version la plus récente du microcode pour cet appareil à l'adresse "
        "www.zentrova.example ou ouvrez le fichier.",
        "Descargue el firmware más reciente para este dispositivo en www.zentrova.example o "
        "ejecútelo."};
    for (std::uint8_t lang = 0; lang < LanguageCount; ++lang) {
        EXPECT_STREQ(Txt(TxtStep2, lang), expected[lang]);
    }
}
