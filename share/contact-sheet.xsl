<?xml version="1.0" encoding="UTF-8"?>
<!-- A contact sheet: the cards of a vCardSet document as an HTML page, one
     box per card with its name, organisation and title, phones and e-mail
     with their types, addresses, and its photo shown inline. Used by
     "tarvovcard to-html"; the stylesheet option of "tarvovcard to-xml" can
     name it too. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8" indent="yes"
              doctype-system="about:legacy-compat"/>

  <xsl:template match="/vCardSet">
    <html lang="en">
      <head>
        <title>Contacts</title>
        <style>
          body { font-family: sans-serif; margin: 2em; background: #f4f4f0; color: #222; }
          h1 { font-weight: normal; }
          .cards { display: flex; flex-wrap: wrap; gap: 1em; }
          .card { background: #fff; border: 1px solid #ccc; border-radius: 6px;
                  padding: 1em; width: 20em; box-shadow: 0 1px 3px rgba(0,0,0,.15); }
          .card h2 { margin: 0 0 .2em; font-size: 1.2em; color: #124; }
          .card img { float: right; max-width: 5em; max-height: 5em; margin-left: .5em; }
          .org { color: #555; margin: 0 0 .6em; }
          .type { color: #888; font-size: .8em; text-transform: lowercase; }
          ul { list-style: none; padding: 0; margin: .4em 0; }
          address { font-style: normal; margin: .4em 0; white-space: pre-line; }
        </style>
      </head>
      <body>
        <h1>Contacts (<xsl:value-of select="count(vCard)"/>)</h1>
        <div class="cards">
          <xsl:apply-templates select="vCard"/>
        </div>
      </body>
    </html>
  </xsl:template>

  <xsl:template match="vCard">
    <section class="card">
      <xsl:apply-templates select="PHOTO[b64bin]" mode="photo"/>
      <h2>
        <xsl:choose>
          <xsl:when test="normalize-space(FN)"><xsl:value-of select="FN"/></xsl:when>
          <xsl:otherwise>
            <xsl:value-of select="normalize-space(concat(N/prefix, ' ', N/given, ' ',
                                  N/other, ' ', N/family, ' ', N/suffix))"/>
          </xsl:otherwise>
        </xsl:choose>
      </h2>
      <xsl:if test="ORG or TITLE">
        <p class="org">
          <xsl:value-of select="TITLE"/>
          <xsl:if test="TITLE and ORG"><xsl:text>, </xsl:text></xsl:if>
          <xsl:value-of select="ORG/orgname"/>
          <xsl:if test="normalize-space(ORG/orgunit)">
            <xsl:text> (</xsl:text><xsl:value-of select="ORG/orgunit"/><xsl:text>)</xsl:text>
          </xsl:if>
        </p>
      </xsl:if>
      <xsl:if test="TEL or EMAIL">
        <ul>
          <xsl:apply-templates select="TEL | EMAIL"/>
        </ul>
      </xsl:if>
      <xsl:apply-templates select="ADR"/>
    </section>
  </xsl:template>

  <xsl:template match="TEL">
    <li class="tel">
      <a href="tel:{translate(., ' ', '')}"><xsl:value-of select="."/></a>
      <xsl:text> </xsl:text>
      <span class="type"><xsl:value-of select="normalize-space(@tel.type)"/></span>
    </li>
  </xsl:template>

  <xsl:template match="EMAIL">
    <li class="email">
      <a href="mailto:{.}"><xsl:value-of select="."/></a>
      <xsl:text> </xsl:text>
      <span class="type"><xsl:value-of select="normalize-space(@email.type)"/></span>
    </li>
  </xsl:template>

  <xsl:template match="ADR">
    <address>
      <span class="type"><xsl:value-of select="normalize-space(@del.type)"/></span>
      <xsl:for-each select="pobox | extadd | street | locality | region | pcode | country">
        <xsl:if test="normalize-space(.)">
          <xsl:text>&#10;</xsl:text><xsl:value-of select="."/>
        </xsl:if>
      </xsl:for-each>
    </address>
  </xsl:template>

  <!-- The photo as a data: URL; its type from the TYPE (GIF, JPEG, PNG). -->
  <xsl:template match="PHOTO" mode="photo">
    <xsl:variable name="type" select="translate(normalize-space(b64bin/@fmttype),
                                      'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz')"/>
    <img alt="photo"
         src="data:{$type};base64,{translate(normalize-space(b64bin), ' ', '')}"/>
  </xsl:template>
</xsl:stylesheet>
