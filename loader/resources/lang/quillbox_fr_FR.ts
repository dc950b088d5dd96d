<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>KLAVInterface</name>
    <message>
        <source>Select a database</source>
        <translation>Sélectionner une base de données</translation>
    </message>
    <message>
        <source>Database Files (*.db)</source>
        <translation>Bases de données (*.db)</translation>
    </message>
    <message>
        <source>KLAV Message</source>
        <translation>Message KLAV</translation>
    </message>
    <message>
        <source>Database file does not exist</source>
        <translation>Le fichier de la base de données n&apos;existe pas</translation>
    </message>
    <message>
        <source>Loading succeeded</source>
        <translation>Chargement réussi</translation>
    </message>
    <message>
        <source>The database is not coherent</source>
        <translation>La base de données n&apos;est pas cohérente</translation>
    </message>
    <message>
        <source>The database could not be opened</source>
        <translation>La base de données n&apos;a pas pu être ouverte</translation>
    </message>
    <message>
        <source>Initialisation protocol failed</source>
        <translation>Échec du protocole d&apos;initialisation</translation>
    </message>
    <message>
        <source>An incomplete NACK was received</source>
        <translation>Un NACK incomplet a été reçu</translation>
    </message>
    <message>
        <source>A data block was refused</source>
        <translation>Un bloc de données a été refusé</translation>
    </message>
    <message>
        <source>Failed to send ending frame</source>
        <translation>Échec de l&apos;envoi de la trame de fin</translation>
    </message>
    <message>
        <source>Loading was cancelled</source>
        <translation>Le chargement a été annulé</translation>
    </message>
    <message>
        <source>No response from the terminal</source>
        <translation>Aucune réponse du terminal</translation>
    </message>
    <message>
        <source>KLAV message</source>
        <translation>Message KLAV</translation>
    </message>
    <message>
        <source>A load is in progress. Stop it and quit?</source>
        <translation>Un chargement est en cours. L&apos;arrêter et quitter ?</translation>
    </message>
    <message>
        <source>No terminal: connect one</source>
        <translation>Branchez un terminal</translation>
    </message>
    <message>
        <source>The program runs on its default settings, and the database you choose will not be proposed at the next start.</source>
        <translation>Le programme utilise ses réglages par défaut, et la base de données choisie ne sera pas proposée au prochain démarrage.</translation>
    </message>
    <message>
        <source>The database you chose will not be proposed at the next start.</source>
        <translation>La base de données choisie ne sera pas proposée au prochain démarrage.</translation>
    </message>
    <message>
        <source>The settings cannot be saved in %1: that folder cannot be written.</source>
        <translation>Les réglages ne peuvent pas être enregistrés dans %1 : ce dossier n&apos;est pas accessible en écriture.</translation>
    </message>
    <message>
        <source>Stop the load?</source>
        <translation>Arrêter le chargement ?</translation>
    </message>
</context>
<context>
    <name>KLAVThread</name>
    <message>
        <source>Loading request failed - error : </source>
        <translation>Échec de la demande de chargement - erreur : </translation>
    </message>
    <message>
        <source>A NACK was received : </source>
        <translation>Un NACK a été reçu : </translation>
    </message>
    <message>
        <source>Timeout when sending data</source>
        <translation>Délai dépassé lors de l&apos;envoi des données</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>KLAV message</source>
        <translation>Message KLAV</translation>
    </message>
    <message>
        <source>Config file not valid. Click OK to launch application</source>
        <translation>Fichier de configuration non valide. Cliquer sur OK pour lancer l&apos;application</translation>
    </message>
</context>
</TS>
