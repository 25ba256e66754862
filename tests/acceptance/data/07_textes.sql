-- Mise à jour 4.15.0 : corrections des textes affichés ; à appliquer une fois
CREATE TABLE MESSAGE_CLUB (
  MSG_ID INTEGER NOT NULL PRIMARY KEY,
  MSG_TEXTE VARCHAR(200) CHARACTER SET ISO8859_1,
  MSG_NOTE BLOB SUB_TYPE TEXT CHARACTER SET ISO8859_1
);
COMMIT;

INSERT INTO MESSAGE_CLUB VALUES (1, 'Bienvenue ; le club ouvre à 8 h', NULL);
INSERT INTO MESSAGE_CLUB VALUES (2, 'Tarif -- réduit pour les étudiants', 'note -- pas un commentaire');
INSERT INTO MESSAGE_CLUB VALUES (3, 'L''accès au mur d''escalade est "encadré"', NULL);
INSERT INTO MESSAGE_CLUB VALUES (4, '/* pas un commentaire */ mais un texte', 'ligne 1
ligne 2 ; suite');
INSERT INTO MESSAGE_CLUB VALUES (5, 'Élèves, équipe, cœur, maïs, façade, œuvre, 20 €', 'àâäçéèêëîïôöùûüÿ');
INSERT INTO MESSAGE_CLUB VALUES (6, '''', '''''');
INSERT INTO MESSAGE_CLUB VALUES (7, '', ' ');
INSERT INTO MESSAGE_CLUB VALUES (8, 'Fin de ligne ;', NULL); -- un commentaire ; avec un point-virgule
/* un bloc ; avec 'une apostrophe */
INSERT INTO MESSAGE_CLUB VALUES (9, 'Horaires : 9h-12h ; 14h-18h', 'Fermé le "lundi"');

UPDATE MESSAGE_CLUB SET MSG_TEXTE = REPLACE(MSG_TEXTE, 'club', 'Club') WHERE MSG_ID = 1;
UPDATE MESSAGE_CLUB SET MSG_NOTE = MSG_NOTE || ' (corrigé)' WHERE MSG_NOTE IS NOT NULL AND MSG_ID < 5;
UPDATE MESSAGE_CLUB SET MSG_TEXTE = 'Tarif réduit ; étudiants -- et "seniors"' WHERE MSG_TEXTE LIKE 'Tarif --%';
DELETE FROM MESSAGE_CLUB WHERE MSG_TEXTE = '' OR MSG_ID = 6;
COMMIT;
